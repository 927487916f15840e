#include "core/analysis/streamlines.h"

#include <cmath>

#include "core/flow/circulation.h"
#include "core/model/geometry.h"

namespace mdv {

namespace {

// A line may take at most this many steps; beyond it the request is refused
// before tracing (about 24 MB of points), since nothing else bounds it.
constexpr double MaxStreamLineSteps = 1.0e6;

}  // namespace

StreamLineResult TraceStreamLine(Model& m, double x0, double y0, double step, double maxLength,
                                 Observer& obs) {
  StreamLineResult res;
  if (!std::isfinite(x0) || !std::isfinite(y0)) {
    res.Error = "Начальная точка линии тока задана неверно";
    return res;
  }
  // A step of zero never advances the running length and a negative one runs
  // the line backwards without end: both are refused.
  if (!std::isfinite(step) || step <= 0) {
    res.Error = "Шаг построения линии тока должен быть больше нуля";
    return res;
  }
  if (std::isnan(maxLength) || maxLength / step > MaxStreamLineSteps) {
    res.Error = "Слишком длинная линия тока: длина больше миллиона шагов";
    return res;
  }
  res.Ok = true;

  TRealPointArray line;
  line.reserve(100);
  TRealPoint p{static_cast<Real>(x0), static_cast<Real>(y0)};
  double len = 0;  // travelled length, m; a 64-bit running sum of the steps
  line.push_back(p);
  obs.TracePoint(p, true);

  // The length is tested before each step, so the line may end up to one
  // step longer than maxLength.
  int32_t sinceAsked = 0;  // steps since the stop question
  while (len <= maxLength) {
    if (++sinceAsked == StreamLineStopSteps) {
      sinceAsked = 0;
      if (obs.StopRequested()) {
        res.Stopped = true;
        break;
      }
    }
    // The components and the speed are kept as 64-bit values; the sum of
    // squares and the root are taken in extended before that rounding.
    Real ux, uy;
    CalcVelocityPair(m, p, -1, ux, uy);
    const double vx = static_cast<double>(ux);
    const double vy = static_cast<double>(uy);
    const double v = static_cast<double>(
        std::sqrt(static_cast<Real>(vx) * vx + static_cast<Real>(vy) * vy));
    // At rest, or beyond the range of the step's arithmetic, the direction
    // is undefined: the line ends at this point.
    if (!std::isfinite(v) || !std::isfinite(vx) || !std::isfinite(vy)) {
      res.OutOfRange = true;
      break;
    }
    if (!(v > 0)) {
      res.EndedAtRest = true;
      break;
    }
    const TRealPoint prev = p;
    p.X = p.X + static_cast<Real>(vx) / v * step;
    p.Y = p.Y + static_cast<Real>(vy) / v * step;
    for (int32_t i = 0; i < m.BodyRibCount; ++i) {
      TRealPoint cross;
      if (SegmentsIntersect(prev, p, m.BodyRibs[i].P1, m.BodyRibs[i].P2, &cross)) {
        p = cross;
        res.EndedAtWall = true;
        break;
      }
    }
    len = len + step;
    line.push_back(p);
    obs.TracePoint(p, false);
    if (res.EndedAtWall) break;
  }

  line.shrink_to_fit();
  res.PointCount = static_cast<int32_t>(line.size());
  m.StreamLines.push_back(std::move(line));
  m.StreamLineCount = m.StreamLineCount + 1;
  return res;
}

void EraseStreamLines(Model& m) {
  m.StreamLines.clear();
  m.StreamLines.shrink_to_fit();
  m.StreamLineCount = 0;
}

}  // namespace mdv
