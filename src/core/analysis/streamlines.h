#pragma once
// Stream lines of the frozen velocity field: fixed-length Euler steps along
// the local flow direction, ended by length or at a body rib.
#include <string>

#include "core/model/model.h"
#include "core/base/observer.h"

namespace mdv {

inline constexpr int32_t StreamLineStopSteps = 50;

struct StreamLineResult {
  bool Ok = false;            // false: rejected before tracing (see Error)
  std::string Error;          // why it was rejected, for the user
  bool EndedAtWall = false;   // the last point is the crossing with a body rib
  bool EndedAtRest = false;   // the velocity vanished; the line ends at that point
  // The velocity at the last point is beyond the 64-bit range the line's
  // steps are taken in (a file's circulations too large): no direction.
  bool OutOfRange = false;
  bool Stopped = false;       // obs.StopRequested() said so; the line is stored as far as it got
  int32_t PointCount = 0;     // points stored, start point included
};

// Traces one line from (x0, y0) in steps of `step` m up to about maxLength m,
// stores it in m.StreamLines and reports every point to obs.TracePoint.
// Every StreamLineStopSteps steps it asks obs.StopRequested() (without
// pumping events: the window's stream lines are short and have no stop).
StreamLineResult TraceStreamLine(Model& m, double x0, double y0, double step, double maxLength,
                                 Observer& obs = NullObserver());
void EraseStreamLines(Model& m);

}  // namespace mdv
