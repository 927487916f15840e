#pragma once
// The entry loss of the hood from a momentum balance on the mean flow in the
// channel, beside the Borda–Carnot figure of the contraction measure.
//
// Control volume: the channel between the vena contracta (c, the section of
// least C_c) and the suction section (s, the last channel section measured,
// B/2 before the suction rib, where the profile is still the flow's own).
// Assumptions, all of them:
//  - the mean flow is steady; ρ is constant;
//  - the pressure is uniform across each of the two sections;
//  - the friction of the channel wall between them is neglected;
//  - the contracted jet's core at c has come from rest far away without loss
//    (Bernoulli along its mean streamline): p_c = p_∞ − ρ u_c²/2, with u_c the
//    greatest mean axial velocity across c (the streamline that lost least);
//  - the momentum flux through a section is ρ ∫ (v̄x² + v′x²) dA: the mean flow
//    and the axial velocity fluctuation (the Reynolds stress ρ v′x²);
//  - the mean total pressure at s is flux-weighted (mass-averaged) from the
//    mean velocity, p_s + ρ ∫ v̄x |V̄|² dA / (2Q): the fluctuations' kinetic
//    energy is counted as lost (no fan recovers it);
//  - v0 = Q_s/(πB²), the channel's mean speed from the flux measured at s.
// Then p_s = p_c + (M_c − M_s)/A and ζ_M = (p_∞ − p̄t_s)/(ρ v0²/2).
#include <span>
#include <string>

#include "core/analysis/contraction.h"

namespace mdv {

// The momentum flux, energy flux and core speed of each section, from the
// sections' mean axial velocity, its variance (m²/s²) and the mean radial
// velocity at the strip midpoints, ContractionSectionPoints values per
// section in the order of c.Sections (ContractionSectionXs).
void AddSectionMomentum(ContractionSummary& c, double radius, std::span<const double> vxMean,
                        std::span<const double> vxVariance, std::span<const double> vyMean);

struct MomentumBalance {
  bool Known = false;  // a vena contracta and the sums of both sections
  double VenaX = 0, SuctionX = 0;  // m
  double CoreSpeed = 0;     // u_c, m/s
  double ChannelSpeed = 0;  // v0 = Q_s/(πB²), m/s
  // Pressures over the velocity pressure ρv0²/2, from p_∞ = 0 (rest far away).
  double VenaPressure = 0;          // p_c
  double SuctionPressure = 0;       // p_s from the balance
  double SuctionTotalPressure = 0;  // p̄t_s
  double FluctuationShareVena = 0, FluctuationShareSuction = 0;  // the fluctuation part of M_c, M_s
  double Zeta = 0;  // ζ_M = −p̄t_s
};

// The balance over the summary's vena contracta and last section; not Known
// when either lacks its sums (a file written before they were measured).
MomentumBalance BalanceMomentum(const ContractionSummary& c, double radius);

// For a person (Russian, decimal comma): the balance's terms, one line each;
// empty when not Known.
std::string MomentumBalanceText(const MomentumBalance& b);

}  // namespace mdv
