#pragma once
// The mouth of the hood found from its geometry, and the measures of the jet
// that enters the channel: the contraction coefficient of each channel
// section, the vena contracta and the reattachment of the flow to the wall.
//
// The mouth is the separation edge where the flow enters the channel. With an
// inclined flange (α above the flat-flange limit of the area) the flange meets
// the channel's inner wall at a corner, (0, B), which sheds: that corner is
// the mouth, as every measure before it took. With α = 0 the flange continues
// the tube, the corner is gone, and the flow enters the channel at the
// flange's end, (−l, B).
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "core/model/model.h"

namespace mdv {

// Points across a channel section (midpoints of equal strips from the axis to
// the wall): the mean profile falls off within a vortex spacing of the wall,
// so they are finer than the averaging grid.
inline constexpr int32_t ContractionSectionPoints = 30;
// Sections lie every B/4 downstream of the mouth, m per B.
inline constexpr double ContractionSectionStepOverB = 0.25;
// The last section keeps this far (in B) from the suction section, where the
// sink's own distribution shapes the profile.
inline constexpr double ContractionSuctionClearanceOverB = 0.5;

// The separation edge where the flow enters the channel, m. Needs a built area.
TRealPoint MouthEdge(const Model& m);
// The axial position of the mouth, m.
Real MouthX(const Model& m);

// x of each channel section, m, downstream of the mouth: mouth + k·B/4 for
// k = 1, 2, … up to B/2 before the suction section.
std::vector<Real> ContractionSectionXs(const Model& m);
// Point j (0 … ContractionSectionPoints − 1) across the section at x: the
// midpoint of strip j, or, for a midpoint within h/2 of the wall (where the
// velocity cut-off leaves the nearest attached vortices out and the profile
// falls off unphysically), the point h/2 from the wall; the strip keeps its
// midpoint's weight.
TRealPoint ContractionSectionPoint(const Model& m, Real x, int32_t j);
// The radius of point j of a section of a channel of this radius and
// vortex spacing, m (the Y of ContractionSectionPoint).
double ContractionSectionRadius(double radius, double spacing, int32_t j);
// The point next to the wall at x: one vortex spacing from the inner wall,
// clear of the attached vortices' cut-off.
TRealPoint ContractionWallPoint(const Model& m, Real x);

struct ContractionSection {
  double X = 0;       // m
  double XOverD = 0;  // (x − mouth)/D, D = 2B
  double Flux = 0;    // 2π ∫ vx y dy, m³/s
  double Cc = 0;      // Q² / (π B² ∫ vx² dA); NaN when ∫ vx² dA = 0
  double VxWall = 0;  // mean axial velocity next to the wall, m/s
  // The momentum balance's sums (averages/entry_loss.h); NaN when not
  // measured (a file written before them).
  double MomentumFlux = std::numeric_limits<double>::quiet_NaN();  // ∫ (v̄x² + v′x²) dA, m⁴/s²
  double EnergyFlux = std::numeric_limits<double>::quiet_NaN();    // ∫ v̄x |V̄|² dA, m⁵/s³
  double VxMax = std::numeric_limits<double>::quiet_NaN();         // greatest mean axial velocity, m/s
  // The jet's edge: going out from the fastest point of the profile, the
  // radius where the mean axial velocity turns negative (linear between the
  // points), B when it stays positive; NaN when not known. (r_zero/B)² is the
  // contraction without the reverse flow's momentum.
  double ZeroRadius = std::numeric_limits<double>::quiet_NaN();  // m
  // The pressure across the section from the mean flow's radial momentum
  // (averages/entry_loss.h), over ρ; NaN when not measured.
  double AxisHead = std::numeric_limits<double>::quiet_NaN();  // |V̄|²/2 at the innermost point, m²/s²
  double PressureIntegral = std::numeric_limits<double>::quiet_NaN();  // ∫ (p − p_axis)/ρ dA, m⁴/s²
  double PressureFlux = std::numeric_limits<double>::quiet_NaN();      // ∫ v̄x (p − p_axis)/ρ dA, m⁵/s³
  double WallPressure = std::numeric_limits<double>::quiet_NaN();      // (p − p_axis)/ρ at the outermost point, m²/s²
  // 95 % half-width of Cc from the batch means of whole blocks; NaN when not
  // trusted or not measured.
  double CcHalfWidth95 = std::numeric_limits<double>::quiet_NaN();
  // The mean axial velocity at the section's ContractionSectionPoints points
  // (ContractionSectionRadius), m/s; empty in a file written before it.
  std::vector<double> Vx = {};
};

struct ContractionSummary {
  bool Present = false;  // measured (a file written before these measures has none)
  double MouthX = 0, MouthY = 0;  // m
  double WallOffset = 0;          // distance of the wall point from the wall, m
  std::vector<ContractionSection> Sections;
  // The vena contracta: the section of least C_c.
  bool HasVenaContracta = false;
  // Its C_c stands out from its neighbours' (JudgeVenaContracta): only then
  // is its place a measurement; a minimum of an almost flat C_c(x) wanders
  // from section to section as the record grows.
  bool VenaStandsOut = false;
  double VenaX = 0, VenaXOverD = 0, VenaCc = 0;
  double JetRadius = 0;  // B·√C_c, the radius of a uniform jet of the same momentum flux, m
  double ZetaBC = 0;     // Borda–Carnot entry loss (1/C_c − 1)², in velocity pressures of the channel
  // The entry loss from the momentum balance between the vena contracta and
  // the last section (averages/entry_loss.h); NaN when not known.
  double ZetaM = std::numeric_limits<double>::quiet_NaN();
  // Reattachment: the first zero of the wall velocity from negative to
  // positive downstream of the first section with reverse flow next to the wall.
  bool Separated = false;   // some section has vx < 0 next to the wall
  bool Reattached = false;  // it turns positive again within the sections
  double ReattachX = 0, ReattachXOverD = 0;  // m; from the mouth, in D
};

// The Borda–Carnot loss of a jet contracted to C_c that expands again to
// fill the channel: (1/C_c − 1)², velocity pressures ρv²/2 of the channel.
double BordaCarnotZeta(double cc);

// C_c of one section from the mean axial velocity at its strip midpoints
// (m/s, axis first, midpoint rule over strips of width B/n); fills Flux.
double SectionCc(std::span<const double> vx, double radius, double* flux = nullptr);

// The measures from the sections' mean profiles: `profiles` holds
// ContractionSectionPoints values per section, section after section, and
// `wall` one value per section, both in ContractionSectionXs order.
ContractionSummary SummariseContraction(const Model& m, std::span<const double> profiles,
                                        std::span<const double> wall);

// Sets VenaStandsOut: the least C_c's 95 % interval lies below each
// neighbouring section's interval (the half-widths known at all three).
void JudgeVenaContracta(ContractionSummary& c);

// For a person (Russian, decimal comma): the mouth, the entry loss from the
// momentum balance, the vena contracta (its place only where it stands out),
// the Borda–Carnot estimate and the reattachment, one line each.
std::string ContractionText(const ContractionSummary& c);
// "x [m];x/D;flux [m3/s];Cc;vx_wall [m/s]", one row per section: semicolons,
// decimal comma, an empty field for a value that is not known.
std::string ContractionCsv(const ContractionSummary& c);

}  // namespace mdv
