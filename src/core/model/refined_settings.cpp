#include "core/model/refined_settings.h"

#include <algorithm>

#include "core/model/model.h"

namespace mdv {

namespace {

Real Diameter(const Model& m) { return 2 * m.ChannelRadius; }

// The suction speed as a scale; a hood with no suction takes 1 m/s.
Real SpeedScale(const Model& m) { return m.SuctionSpeed > 0 ? m.SuctionSpeed : 1; }

}  // namespace

Real SmoothingLengthOf(const Model& m) {
  const Real set = m.Refined.SmoothingLength;
  return set > 0 ? set : RefinedSmoothingPerDiameter * Diameter(m);
}

Real ViscosityOf(const Model& m) {
  const Real set = m.Refined.Viscosity;
  return set >= 0 ? set : RefinedViscosityCoefficient * SpeedScale(m) * Diameter(m);
}

Real MergeAgeOf(const Model& m) { return RefinedMergeAgeTransits * Diameter(m) / SpeedScale(m); }

Real CourantStep(const Model& m, Real courant) {
  const Real length = m.Flow == FlowModel::Refined ? std::min(m.VortexSpacing, SmoothingLengthOf(m)) : m.VortexSpacing;
  return courant * length / SpeedScale(m);
}

const char* ShedRuleName(ShedRule r) { return r == ShedRule::EdgeSpeed ? "edge-speed" : "outer"; }

const char* ShedPlacementName(ShedPlacement p) { return p == ShedPlacement::Nascent ? "nascent" : "convected"; }

}  // namespace mdv
