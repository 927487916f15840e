#pragma once
// The entry loss of the hood from a momentum balance on the mean flow in the
// channel, beside the Borda–Carnot figure of the contraction measure.
//
// Control volume: the channel between the vena contracta (c, the section of
// least C_c) and the suction section (s, the last channel section measured,
// B/2 before the suction rib, where the profile is still the flow's own).
// Assumptions, all of them (docs/entry_loss.md):
//  - the mean flow is steady and axisymmetric without swirl; ρ is constant;
//  - the friction of the channel wall between c and s is neglected;
//  - the streamline along the axis has come from rest far away without loss:
//    Bernoulli on the mean flow, p_axis/ρ = −|V̄|²/2 at the section's innermost
//    point (the Reynolds stresses along the axis are left out: their shear
//    part is not measured, and the normal part alone would be half a term);
//  - across a section the pressure follows the mean flow's radial momentum:
//    ∂p/∂r/ρ = −v̄x ∂v̄r/∂x − v̄r ∂v̄r/∂r − ∂v′r²/∂r − v′r²/r, ∂v̄r/∂x from the
//    neighbouring sections (5-point differences), the axial gradient of the
//    shear stress v′xv′r not measured and left out;
//  - the momentum flux through a section is ∫ (p + ρ(v̄x² + v′x²)) dA: the
//    mean flow and the axial velocity fluctuation (the Reynolds stress ρ v′x²);
//  - the mean total pressure at s is flux-weighted (mass-averaged) from the
//    mean velocity, ∫ v̄x (p + ρ|V̄|²/2) dA / Q: the fluctuations' kinetic
//    energy is counted as lost (no fan recovers it);
//  - v0 = Q_s/(πB²), the channel's mean speed from the flux measured at s.
// The balance fixes the pressure level at s and ζ_M = (p_∞ − p̄t_s)/(ρ v0²/2).
// Without the pressure sums (a file written before them) the pressure is
// taken uniform across each section and the core at c from the fastest point.
#include <span>
#include <string>

#include "core/analysis/contraction.h"

namespace mdv {

// The momentum flux, energy flux, core speed and pressure across each section,
// from the sections' mean axial velocity, its variance (m²/s²), the mean
// radial velocity and its variance at the section points,
// ContractionSectionPoints values per section in the order of c.Sections
// (ContractionSectionXs). The points are the strips' midpoints, the last one
// no nearer the wall than wallGap (m), as ContractionSectionPoint puts them.
// The pressure sums need at least five sections.
void AddSectionMomentum(ContractionSummary& c, double radius, std::span<const double> vxMean,
                        std::span<const double> vxVariance, std::span<const double> vyMean,
                        std::span<const double> vyVariance = {}, double wallGap = 0);

struct MomentumBalance {
  bool Known = false;  // a vena contracta and the sums of both sections
  bool PressureAcross = false;  // the pressure from the radial momentum (else uniform)
  double VenaX = 0, SuctionX = 0;  // m
  double CoreSpeed = 0;     // u_c: on the axis (or, uniform, the fastest point), m/s
  double ChannelSpeed = 0;  // v0 = Q_s/(πB²), m/s
  // Pressures over the velocity pressure ρv0²/2, from p_∞ = 0 (rest far away).
  double VenaPressure = 0;          // p_c, the section's mean
  double VenaWallPressure = 0;      // p_c by the wall minus p_c on the axis
  double SuctionPressure = 0;       // p_s from the balance, the section's mean
  double SuctionTotalPressure = 0;  // p̄t_s
  double FluctuationShareVena = 0, FluctuationShareSuction = 0;  // the fluctuation part of M_c, M_s
  double Zeta = 0;  // ζ_M = −p̄t_s
  // The same balance with uniform pressure across each section and p_c from
  // the fastest point at c (the estimate before the radial momentum), for
  // comparison; NaN when not known.
  double ZetaUniform = 0;
};

// The balance over the summary's vena contracta and last section; not Known
// when either lacks its sums (a file written before they were measured).
MomentumBalance BalanceMomentum(const ContractionSummary& c, double radius);

// For a person (Russian, decimal comma): the balance's terms, one line each;
// empty when not Known.
std::string MomentumBalanceText(const MomentumBalance& b);

}  // namespace mdv
