#pragma once
// model/ — the state and what describes it: the area and its validation,
// plane geometry, the contour's factored attached system and the double
// copy it keeps (both are parts of the state), vortex files and the two
// records. Uses base/.
//
// The model state: area parameters, the discrete model built from them, the
// free vortices of the simulation with its time, and the recording settings.
// One instance lives for the whole program; tests make as many as they like.
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/double_state.h"
#include "core/model/factored_system.h"
#include "core/model/geometry.h"
#include "core/base/real.h"

namespace mdv {

// One vortex ring: its position (X plane of the ring, Y its radius, m) and
// its circulation, m²/s.
struct TVortex {
  TRealPoint Pos;
  Real Gamma = 0;
};

// One control point on the contour: position, unit normal of its rib
// (pointing into the solid) and the prescribed normal velocity there, m/s.
struct TCalcPoint {
  TRealPoint Pos;
  TRealPoint Normal;
  Real Vn = 0;
};

using TVortexArray = std::vector<TVortex>;
using TCalcPointArray = std::vector<TCalcPoint>;

// The arithmetic of the flow's velocities and circulations.
enum class Precision {
  Extended,  // the program's defined arithmetic: 80-bit, bit for bit the literal path
  Double,    // vector kernel and LAPACK in double: the same statistics, far sooner
};

// How a run computes. Literal and Threads never change a result; Arithmetic
// chooses between the two arithmetic paths (Literal implies Extended). Not to
// be changed while a run is in progress.
struct Execution {
  bool Literal = false;  // reference path: full elimination each step, one thread
  int Threads = 0;       // worker threads; 0 = all cores
  Precision Arithmetic = Precision::Extended;
};

// What a run computes: the program's own model (the default, bit for bit as
// it always was), or the refined model of refined_step.h, whose averages
// are meant to converge as the spacing and the step shrink.
enum class FlowModel { Program, Refined };

// How the refined model sheds at a separation point.
enum class ShedRule {
  SheetFlux,  // Γ = ½·(Γ_edge / h)·|U_edge|·dt: the bound sheet convected past the edge
  Edge,       // Γ = Γ_edge, as the program's model: the shed rate grows as dt shrinks
  // Γ = (Γ_edge / h)·|U_edge|·dt: the sheet's flux γ·Ū, U_edge (the edge ring
  // left out) being the mean Ū of the two sides' speeds, (U₊² − U₋²)/2 per second.
  SheetMean,
  // Γ = ½·(U₊² − U₋²)·dt from the speeds at a fixed distance (ShedProbe) on
  // the two sides of the edge: the Kutta flux of the shear layer (shed_probe.h).
  Probe,
  // Γ = ½·U₊²·dt, U₊ the faster of two speeds a fixed distance (ShedProbe)
  // from the edge around the direction the layer leaves in: the dead side
  // taken as still (shed_probe.h).
  Outer,
};

// Where the refined model puts a new ring.
enum class ShedPlacement {
  Offset,     // half a spacing from the edge along the edge velocity, as the program does
  Convected,  // half of its own move U_edge·dt, and at least 1e-4 m past the barrier
  // As Convected, but along the face the flow came on, produced beyond the
  // edge (of the two faces, the one nearer the edge velocity): the layer of
  // a separated flow leaves its edge tangentially.
  Tangent,
};

// What the refined model does with a free ring whose step crosses a body's
// barrier (h/2 off the walls).
enum class WallRule {
  Slide,    // stopped at the barrier, moved on along it (the program's rule)
  Absorb,   // removed: its circulation goes back to the walls (the total-circulation row)
  Reflect,  // the part of the step beyond the barrier mirrored back into the flow
};

// The refined model's parameters; read only when Flow is Refined.
struct RefinedSettings {
  Real SmoothingLength = 0.01L;  // δ of the free rings' kernel, m (fixed as h and dt are refined)
  ShedRule Shedding = ShedRule::SheetFlux;
  ShedPlacement Placement = ShedPlacement::Offset;
  Real MergeDistance = 0;        // same-sign free rings closer than this are merged, m; 0: h/2
  Real MergeAge = 0.1L;          // only rings older than this are merged, s
  bool MergeDistancePerStep = false;  // research: merge distance scaled by dt / 0.005 s
  bool FreeSeeAttachedCutOff = true;  // free rings see attached ones beyond h/2 only (as the program)
  WallRule Wall = WallRule::Slide;
  // A free ring whose step enters this distance of a body's wall from
  // farther out is removed and its circulation given back to the walls
  // (the wall's own opposite vorticity cancels it), m; 0: no such layer. A
  // distance in metres, kept while h and dt are refined.
  Real WallLayer = 0;
  // ShedRule::Probe and Outer: the distance from the edge of the points whose speeds
  // give the shed flux, m; 0: δ.
  Real ShedProbe = 0;
  // ν of the free rings' diffusive velocity (diffusion.h), m²/s; 0: no
  // diffusion, the rings move with the flow alone.
  Real Viscosity = 0;
};

// What the refined model removed and whether the free-vortex ceiling was met
// during the current run (reset when a run starts).
struct RefinedAccount {
  int64_t Merged = 0;        // rings merged into others
  int64_t RemovedFar = 0;    // rings that left the far region
  int64_t RemovedAxis = 0;   // rings whose radius fell below δ / 2
  Real AxisCirculation = 0;  // circulation the axis removals took away, m²/s
  int64_t NotShed = 0;       // sheddings skipped at the ceiling
  // The circulation budget (research: where the shed circulation goes, m²/s).
  static constexpr int32_t Edges = 3;  // separation points accounted one by one
  int64_t RemovedSuction = 0;          // rings that left through the suction section
  Real SuctionCirculation = 0;         // their circulation, m²/s
  Real FarCirculation = 0;             // circulation of the rings removed far away, m²/s
  Real WallCirculation = 0;            // circulation of the rings the wall absorbed, m²/s
  int64_t WallSlides = 0;              // ring moves the wall rule stopped at a body's barrier
  int64_t LayerRemoved = 0;            // rings the wall layer took (their circulation in WallCirculation)
  Real Shed[Edges] = {};               // circulation shed at each separation point, m²/s
  Real ShedSheet[Edges] = {};          // Σ Γ_edge / h over its sheddings, m/s
  Real ShedSpeed[Edges] = {};          // Σ |U_edge| over its sheddings, m/s
  int64_t Sheddings[Edges] = {};       // rings it shed
};

// Work arrays of the refined step, sized once per run (no allocation per step).
struct RefinedScratch {
  std::vector<Real> Birth;      // birth time of each free ring, s (index as the free rings)
  TRealPointArray Start;        // positions at the start of the step
  TRealPointArray Velocity0;    // velocities of the predictor, m/s
  TRealPointArray Velocity1;    // velocities at the predicted positions, m/s
  std::vector<uint8_t> Gone;    // 1: removed in this step
};

struct Model {
  // ---- area parameters ----
  Real ChannelRadius = 0.15L;     // B, inner radius of the suction channel, m
  Real SuctionX = 1.0L;           // L, x of the suction section, m
  Real ChannelLength = 1.2L;      // LL, length of the channel walls, m
  Real FlangeLength = 0.5L;       // l, length of the inclined flange, m
  Real FlangeAngle = Pi / 6;      // alpha, inclination of the flange, rad
  Real WallThickness = 0.02L;     // W, wall and flange thickness = supply slot width, m
  Real PlaneHalfLength = 0.4L;    // PL, radius of the plane disc, m
  Real PlaneX = -0.5L;            // Px, x of the plane, m
  Real SuctionSpeed = 1.0L;       // air speed through the suction section, m/s
  Real InflowSpeed = 0.75L;       // air speed out of the supply slot, m/s
  Real VortexSpacing = 0.01L;     // h, distance between attached vortices, m
  Real Dt = 0.005L;               // time step, s
  Real MaxTime = 1.0L;            // model time at which a run ends, s
  int32_t MaxFreeVortex = 100;    // largest number of free vortices

  // ---- recording settings ----
  bool PulsationOn = false;
  int32_t PulsationPointCount = 0;
  TRealPointArray PulsationPoints;
  std::string PulsationFileName = "pulsate.pls";
  bool TrackOn = false;
  std::string TrackFileName = "freevrt.fvt";

  // ---- discrete model (BuildArea) ----
  TRibArray BodyRibs;
  int32_t BodyRibCount = 0;
  int32_t SuctionRib = 5;
  int32_t InflowRib = 2;
  TRibArray BarrierRibs;
  int32_t BarrierRibCount = 0;
  int32_t AttachedCount = 0;
  TCalcPointArray CalcPoints;
  int32_t SeparationCount = 0;
  std::vector<int32_t> SeparationIndex;
  TRealPointArray SeparationDir;
  Real FarDistance = 0;  // longer than any dimension of the hood, m
  // The shortest distance between neighbouring attached vortices of one rib,
  // m: a rib takes a whole number of intervals, so it may be shorter than h.
  Real AttachedSpacingMin = 0;

  // ---- simulation state ----
  TVortexArray Vortices;  // attached 0..AttachedCount-1, then free in birth order
  int32_t FreeVortexCount = 0;
  Real Time = 0;  // model time, s
  std::vector<int32_t> SheddingInterval;
  Real ShedOffset = 0;  // distance of a new free vortex from its edge, m
  TRealMatr InfluenceMatrix;      // run only
  TRealMatr InfluenceMatrixCopy;  // run only
  TRealArray Circulations;        // run only
  TVortexArray NewFreeVortices;   // run only
  bool StopRequested = false;
  // Changes whenever vortex positions or circulations, the vortex count's
  // contents or the area change: every core function that writes them
  // advances it, and so must any other code that writes Vortices by hand.
  // The double path's copy of the vortices follows it.
  uint64_t Revision = 0;

  // ---- analysis state ----
  TRealPointMatr StreamLines;
  int32_t StreamLineCount = 0;
  bool AreaCalcStopRequested = false;

  Execution Exec;
  FlowModel Flow = FlowModel::Program;
  RefinedSettings Refined;
  RefinedAccount RefinedCount;
  RefinedScratch RefinedWork;  // run only

  // ---- run scratch of the fast path (sized when a run starts, released at its end) ----
  FactoredSystem Factored;             // elimination of the attached system, recorded once
  TRealArray RightHandSide;            // column N in the original row order, for the replay
  TRealPointArray ConvectedPos;        // where each free vortex ends its step
  std::vector<uint8_t> ConvectedGone;  // 1: the vortex left through the suction section

  // ---- the double path: its copy of the vortices and its factored system ----
  DoubleState Double;
};

// SheddingInterval := (outer tip, inner tip, mouth edge): steps skipped between sheddings.
void SetSheddingIntervals(Model& m, int32_t outerTip, int32_t innerTip, int32_t mouth);

}  // namespace mdv
