#pragma once
// analysis/ — what is read off a flow: stream lines, this vortex zone,
// reports, the centre-line, pulsation statistics, spectra, isolines. Uses
// base/, model/ and flow/.
//
// Dimensions of the separated-flow zones at the flange and in the channel
// mouth, measured on two traces of the frozen velocity field, and the screen
// geometry of their dimension marks.
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

// The measured dimensions, m, and the points they were taken at. All zero
// when a computation begins.
struct TVortexAreaParams {
  Real EffWidth = 0;       // "Bэф": twice the y where the first line passes the tip's x
  Real Overshoot = 0;      // "a0": farthest reach ahead of the tip perpendicular
  Real MaxGapPos = 0;      // "l": distance of MaxGapPoint from the tip perpendicular
  Real MaxGap = 0;         // "b": largest distance of the first line from the flange line
  Real ZoneLength = 0;     // "a": Overshoot plus the reattachment distance
  Real ChannelGap = 0;     // "dmax": largest distance of the second line from y = B
  Real ChannelGapPos = 0;  // "lmax": distance of ChannelGapPoint from the mouth plane
  TRealPoint OvershootPoint;
  TRealPoint MaxGapPoint;
  TRealPoint ZoneEndPoint;
  TRealPoint EffWidthPoint;
  TRealPoint ChannelGapPoint;
};

// How the computation ended, and the traces it drew.
struct VortexAreaOutcome {
  bool Ok = false;             // false: rejected before tracing (see Error) or stopped
  bool Stopped = false;        // a stop was requested; the result is partial, not to be shown
  int32_t StoppedInPhase = 0;  // 1, 2 or 3 when Stopped
  std::string Error;           // why the input was rejected, for the user
  bool SecondContinuesFirst = false;  // phase 3 went on from the end of the first line
  // A trace whose point no longer moves (the velocity vanished) ends there
  // instead of running until a stop; its phase completes with that point.
  int32_t StalledPhases = 0;   // bit 0: phase 1, bit 1: phase 2, bit 2: phase 3
  TRealPointArray FirstLine;   // phase 2 trace: start point, then one point per step
  TRealPointArray SecondLine;  // phase 3 trace, same layout
  // A trace that reaches AreaTraceStepLimit steps has not ended where its
  // phase ends (the step is far too small for the flow): bit 0: phase 1,
  // bit 1: phase 2, bit 2: phase 3.
  int32_t TruncatedPhases = 0;
  // Dimensions that are not measurements (negative, not a number, or taken
  // from a truncated trace): bit i stands for row i of VortexAreaRows. Each
  // has a line in Failures saying why. Ok stays true: the others are sound.
  uint32_t FailedRows = 0;
  std::vector<std::string> Failures;
};

// Integration steps between two yields to the observer (PumpEvents, then
// m.AreaCalcStopRequested || obs.StopRequested()).
inline constexpr int32_t AreaYieldSteps = 50;
// Integration steps a trace may take in one phase (as a stream line's million).
inline constexpr int32_t AreaTraceStepLimit = 1000000;
// A first line within this distance of the flange line has reattached, m.
inline constexpr Real ReattachDistance = 0.002L;

// Clears m.AreaCalcStopRequested and fills `result` (phases: effective width,
// the zone along the flange, the zone inside the channel). `first`/`second` are
// the start points of the two lines, m; `dt` the integration time step, s
// (> 0, else rejected). Every point of the two drawn traces also goes to
// obs.TracePoint (first = true at the start of each trace). The model is only
// read, apart from the stop flag.
VortexAreaOutcome CalcVortexAreaParams(Model& m, const TRealPoint& first, const TRealPoint& second,
                                       TVortexAreaParams& result, Real dt,
                                       Observer& obs = NullObserver());

// The settings the window proposes, as the texts of its edit boxes (fixed(6, 4)
// for the points, "0,001" for the step): 1 mm outside the flange's inner tip
// for the first line, 1 mm below the mouth edge for the second.
struct VortexAreaStartTexts {
  std::string FirstX, FirstY, SecondX, SecondY, Dt;
};
VortexAreaStartTexts DefaultVortexAreaStart(const Model& m);

// ---- the window's picture ----

// The window's picture scale, pixels per metre, for a picture of width x
// height pixels: the hood fits with the suction section 40 px from the right
// edge and the axis 20 px above the bottom (see VortexAreaOrigin).
Real VortexAreaScale(const Model& m, int32_t width, int32_t height);
// Origin pixel of the model point (0, 0) for that picture and scale.
void VortexAreaOrigin(const Model& m, int32_t width, int32_t height, Real scale,
                      int32_t& originX, int32_t& originY);

// World to screen: column = round(x * Scale) + OriginX, row = OriginY - round(y * Scale),
// round to nearest, halves to even, of the extended product.
struct ScreenMap {
  Real Scale = 1;  // pixels per metre
  int32_t OriginX = 0;
  int32_t OriginY = 0;
};
struct ScreenPoint {
  int32_t X = 0;  // column, px
  int32_t Y = 0;  // row, px (grows downward)
};
ScreenPoint WorldToScreen(const ScreenMap& map, const TRealPoint& p);

struct MarkColour {
  uint8_t R = 0, G = 0, B = 0;
};
inline constexpr MarkColour MarkMagenta{255, 0, 255};
inline constexpr MarkColour MarkTeal{0, 128, 128};
inline constexpr MarkColour MarkNavy{0, 0, 128};

enum class MarkKind {
  Line,  // solid pen of Colour from A to B
  Dot,   // ellipse in the box A (top-left) .. B (bottom-right), pen Colour
  Text,  // Text with its top-left at A, font colour Colour, transparent
};
struct MarkItem {
  MarkKind Kind = MarkKind::Line;
  MarkColour Colour;
  ScreenPoint A;
  ScreenPoint B;
  std::string Text;  // only for Text
};

// The dimension marks of a finished computation, in drawing order: "Bэф"
// (magenta), "b" (teal), "a" (navy), "dmax" (teal), "lmax" (navy). The window
// draws the items as they come and sets its text colour back to black after.
// When the segment from MaxGapPoint towards the flange misses rib 3, the "b"
// line is drawn to the segment's far end E.
// A mark whose dimension is not a measurement (its bit in `failed`, as in
// VortexAreaOutcome::FailedRows) is left out.
std::vector<MarkItem> VortexAreaMarks(const Model& m, const TVortexAreaParams& r,
                                      const ScreenMap& map, uint32_t failed = 0);

// The seven result rows of the window ("Bэф", "b", "l", "a0", "a", "dmax",
// "lmax") with their values in fixed(6, 4); a row whose bit is set in
// `failed` (VortexAreaOutcome::FailedRows) reads "не определено" instead.
struct VortexAreaRow {
  std::string Label;
  std::string Value;
  bool Measured = true;  // false: Value is not a number
};
inline constexpr int32_t VortexAreaRowCount = 7;
inline constexpr char VortexAreaNotMeasuredText[] = "не определено";
std::vector<VortexAreaRow> VortexAreaRows(const TVortexAreaParams& r, uint32_t failed = 0);

}  // namespace mdv
