#pragma once
// Checks of the area and run parameters before they reach the model. The
// area dialog, the vortex-file loader and the batch tool share them, so the
// geometry BuildArea receives is always sound.
#include <cstdint>
#include <string>

#include "core/model/model.h"

namespace mdv {

// The eleven parameters the area dialog edits. FlangeAngle is in radians, as
// the model holds it: the dialog converts its degrees (value / 180 · π) first,
// so the check sees exactly the angle the model will use.
struct AreaParameters {
  Real VortexSpacing = 0;    // h, m
  Real SuctionSpeed = 0;     // m/s
  Real InflowSpeed = 0;      // m/s
  Real ChannelRadius = 0;    // B, m
  Real SuctionX = 0;         // L, m
  Real ChannelLength = 0;    // LL, m
  Real FlangeLength = 0;     // l, m
  Real FlangeAngle = 0;      // alpha, rad
  Real WallThickness = 0;    // W, m
  Real PlaneHalfLength = 0;  // PL, m
  Real PlaneX = 0;           // Px, m
};

// Largest attached-vortex count accepted: the influence system of a run holds
// two dense N x (N+1) extended matrices (0.5 GB at this count).
inline constexpr int32_t MaxAttachedVortices = 4000;
// Largest free-vortex limit accepted: the vortex array and the convection
// work array get this many elements.
inline constexpr int32_t MaxFreeVortexLimit = 1000000;

AreaParameters AreaParametersOf(const Model& m);
// Stores the parameters into the model; does not rebuild the area.
void SetAreaParameters(Model& m, const AreaParameters& p);

// The attached-vortex count BuildArea gives for these parameters (without the
// check of the limit); meaningful only for parameters that pass the checks
// before the count.
int64_t ExpectedAttachedCount(const AreaParameters& p);

// Empty when the parameters are acceptable; otherwise the first failing
// message, in the dialog's order: signs, suction section within the channel,
// plane left of the flange; then the plane's size, a flange angle above 90°,
// ribs of the body that would have no length, a spacing too coarse for the
// contour (every rib but the supply slot gets at least two attached
// vortices), a plane closer to the hood than one spacing (the gap measured to
// the hood's nearest point), and the attached-vortex count.
std::string ValidateAreaParameters(const AreaParameters& p);

// Empty when a run may start with these values: time step > 0 and
// 0 <= maxFree <= MaxFreeVortexLimit, all finite.
std::string ValidateRunParameters(Real dt, Real maxTime, int64_t maxFree);

}  // namespace mdv
