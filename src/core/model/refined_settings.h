#pragma once
// The refined model's settings, its account of what it removed, and its
// work arrays. Its constants are lengths and times of the hood itself — the
// channel's diameter D = 2·B and the suction speed v0 — so that a hood and its
// speed scaled alike give the same answers in proportion, as the real flow at
// a high Reynolds number does.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/base/real.h"
#include "core/model/geometry.h"

namespace mdv {

struct Model;

// δ / D: the free rings' smoothing length, 0,01 m at the default hood (the
// smallest δ not below the default spacing; the answers move within the
// replica scatter for δ from D/60 to D/15).
inline constexpr Real RefinedSmoothingPerDiameter = 1.0L / 30;

// c of the turbulent viscosity ν = c·v0·D of the free rings' diffusion:
// Prandtl's eddy viscosity of a free shear layer, ν = χ·b·ΔU with χ = 0,01,
// for the layer leaving the lip with a velocity jump ΔU ≈ 1,5·v0 and a width
// b ≈ D/15 near the lip: c = 0,01·1,5/15 = 0,001 (3e-4 m²/s at the default hood).
inline constexpr Real RefinedViscosityCoefficient = 0.001L;

// Merging: same-sign free rings closer than h/2 and older than this many
// transit times D/v0 are merged (0,1 s at the default hood): a ring is left
// alone while it still belongs to the shed layer.
inline constexpr Real RefinedMergeAgeTransits = 1.0L / 3;

// How the refined model sheds at a separation point: the one-sided Kutta
// flux sign(Γ_edge)·½·U₊²·dt of the layer leaving the edge (shed_probe.h).
enum class ShedRule {
  // U₊ the faster of two speeds d_p = δ from the edge around the direction
  // the layer leaves in: the dead side taken as still.
  Outer,
  // U₊ the speed at the edge itself, from the speeds at d_p and 2·d_p by the
  // √r law of the flow leaving a sharp edge.
  EdgeSpeed,
};

// Where the refined model puts a new ring.
enum class ShedPlacement {
  Convected,  // half of its own move U_edge·dt from the edge, at least 1e-4 m past the barrier
  // A nascent ring per edge gathers the shed circulation (its place the
  // impulse-weighted mean of its own and each new portion's, the portion at
  // U·dt/2) and is let go once it is δ from its edge: the layer's rings are
  // δ apart whatever h and dt.
  Nascent,
};

// The refined model's parameters; read only when the flow model is refined.
// The defaults are the validated set (docs/validation.md).
struct RefinedSettings {
  Real SmoothingLength = 0;  // δ of the free rings' kernel, m; 0: the hood's own, D/30
  ShedRule Shedding = ShedRule::EdgeSpeed;
  ShedPlacement Placement = ShedPlacement::Nascent;
  // ν of the free rings' diffusive velocity (diffusion.h), m²/s; negative:
  // the hood's own, c·v0·D; 0: no diffusion (research).
  Real Viscosity = -1;
};

// δ of m, m.
Real SmoothingLengthOf(const Model& m);
// ν of m, m²/s.
Real ViscosityOf(const Model& m);
// The age from which free rings are merged, s.
Real MergeAgeOf(const Model& m);
// The refined model's own run settings, where the user gives none: a memory
// ceiling of free rings (never met at the default hood: some 200–600 rings
// are kept), and the step dt = C·min(h, δ)/v0 of the Courant-like number C.
inline constexpr int32_t RefinedDefaultMaxFree = 4000;
inline constexpr Real RefinedCourant = 0.5L;
// dt of the Courant-like number `courant` for m's model (h alone for the program's), s.
Real CourantStep(const Model& m, Real courant);

// The names the batch tool, the study files and the averages file use.
const char* ShedRuleName(ShedRule r);
const char* ShedPlacementName(ShedPlacement p);

// What the refined model removed and whether the free-vortex ceiling was met
// during the current run (reset when a run starts).
struct RefinedAccount {
  int64_t Merged = 0;        // rings merged into others
  int64_t RemovedFar = 0;    // rings that left the far region
  int64_t RemovedAxis = 0;   // rings whose radius fell below δ
  Real AxisCirculation = 0;  // circulation the axis removals took away, m²/s
  int64_t NotShed = 0;       // sheddings skipped at the ceiling
  // The circulation budget (research: where the shed circulation goes, m²/s).
  static constexpr int32_t Edges = 3;  // separation points accounted one by one
  int64_t RemovedSuction = 0;          // rings that left through the suction section
  Real SuctionCirculation = 0;         // their circulation, m²/s
  Real FarCirculation = 0;             // circulation of the rings removed far away, m²/s
  int64_t WallSlides = 0;              // ring moves the wall rule stopped at a body's barrier
  Real Shed[Edges] = {};               // circulation shed at each separation point, m²/s
  Real ShedSheet[Edges] = {};          // Σ Γ_edge / h over its sheddings, m/s
  Real ShedSpeed[Edges] = {};          // Σ |U_edge| over its sheddings, m/s
  int64_t Sheddings[Edges] = {};       // portions it shed (into new or nascent rings)
};

// What one separation point sheds in a step: the portion as a ring where it
// starts, and the edge's sheet strength Γ_edge/h and speed for the budget.
struct ShedPortion {
  bool Due = false;
  TRealPoint Pos;  // where the portion starts, m
  Real Gamma = 0;  // m²/s
  Real Sheet = 0;  // m/s
  Real Speed = 0;  // m/s
};

// Work arrays of the refined step, sized once per run (no allocation per step).
struct RefinedScratch {
  std::vector<Real> Birth;      // birth time of each free ring, s (index as the free rings)
  TRealPointArray Start;        // positions at the start of the step
  TRealPointArray Velocity0;    // velocities of the predictor, m/s
  TRealPointArray Velocity1;    // velocities at the predicted positions, m/s
  std::vector<uint8_t> Gone;    // 1: removed in this step
  std::vector<int8_t> Nascent;  // separation point whose nascent ring this is, or −1
  std::vector<ShedPortion> Portions;  // one per separation point
  std::vector<double> NearX, NearY;   // the free rings' places in double, m (the neighbour searches)
  std::vector<int32_t> CellStart, CellItems;  // their grid (ring_grid.h)
  std::vector<double> InvRadius;      // 1 / radius of each free ring, 1/m, padded as the double rings
  std::vector<double> TileU, TileV;   // the free rings' sums on each other by tile (refined_field.cpp), m/s
  // The double path's right-hand side: the free rings' velocity sums at each
  // control point by tile of rings, [tile][point], m/s, and what they summed.
  std::vector<double> RhsU, RhsV;
  struct Summed {
    std::vector<double> X, Y, G;        // the free rings, m, m, m²/s
    std::vector<double> PointX, PointY; // the control points, m
    int32_t Rings = 0, Points = 0;
    double Delta2 = -1;                 // δ², m²
    void Reserve(size_t rings, size_t points) {
      X.reserve(rings);
      Y.reserve(rings);
      G.reserve(rings);
      PointX.reserve(points);
      PointY.reserve(points);
    }
  } RhsRings;
};

}  // namespace mdv
