#include "core/analysis/vortex_area.h"

#include <algorithm>
#include <cmath>

#include "core/flow/circulation.h"
#include "core/model/geometry.h"
#include "core/base/numfmt.h"

namespace mdv {

namespace {

// Above this flange angle, rad, the flange stands across the flow and the
// effective width is the mouth's own diameter.
constexpr Real UprightFlangeAngle = Pi / 2 - 0.001L;

// Lengths of the dimension marks beyond the measured points, m.
constexpr Real GapMarkReach = 0.2L;       // the "b" segment goes past the flange
constexpr Real ExtensionReach = 0.03L;    // extension lines of "a"
constexpr Real DimensionReach = 0.02L;    // dimension line of "a"
constexpr Real WallExtension = 0.05L;     // extension lines of "lmax"
constexpr Real WallDimension = 0.04L;     // dimension line of "lmax"

TRealPoint Scaled(const TRealPoint& v, Real k) { return {k * v.X, k * v.Y}; }

int Sign(Real v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

// The integration of one computation: fixed time step, all in extended.
class AreaTracer {
 public:
  AreaTracer(Model& m, Observer& obs, Real dt) : m_(m), obs_(obs), dt_(dt) {}

  // P := P + V(P)·dt; len grows by |V(P)|·dt. Returns false when P did not
  // move (the trace has come to rest).
  bool Step(TRealPoint& p, Real& len) const {
    Real vx, vy;  // m/s
    CalcVelocityPair(m_, p, -1, vx, vy);
    const TRealPoint prev = p;
    p.X = p.X + vx * dt_;
    p.Y = p.Y + vy * dt_;
    len = len + std::sqrt(vx * vx + vy * vy) * dt_;
    return !PointsEqual(prev, p);
  }

  // The segment prev→p against the body ribs in index order; the first rib
  // crossed cuts p back to the crossing.
  bool HitsWall(const TRealPoint& prev, TRealPoint& p) const {
    for (int32_t i = 0; i < m_.BodyRibCount; ++i) {
      TRealPoint cross;
      if (SegmentsIntersect(prev, p, m_.BodyRibs[i].P1, m_.BodyRibs[i].P2, &cross)) {
        p = cross;
        return true;
      }
    }
    return false;
  }

  void StartPhase() {
    counter_ = 0;
    steps_ = 0;
  }

  // The phase has taken all the steps it may; called before each step.
  bool AtLimit() { return steps_++ >= AreaTraceStepLimit; }

  // Counts a step; every AreaYieldSteps steps lets the driver handle its
  // events and reports whether a stop was asked for.
  bool CountAndTestStop() {
    if (++counter_ < AreaYieldSteps) return false;
    counter_ = 0;
    obs_.PumpEvents();
    if (obs_.StopRequested()) m_.AreaCalcStopRequested = true;
    return m_.AreaCalcStopRequested;
  }

 private:
  Model& m_;
  Observer& obs_;
  Real dt_;
  int32_t counter_ = 0;
  int32_t steps_ = 0;  // steps of the current phase
};

bool Finite(const TRealPoint& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

// Marks the dimensions that are not measurements. Every dimension is a
// distance or a width, so a negative one means the trace crossed the axis or
// ran off (a step far too large); one from a truncated trace was never finished.
void JudgeDimensions(const TVortexAreaParams& r, VortexAreaOutcome& out) {
  const Real values[VortexAreaRowCount] = {r.EffWidth,   r.MaxGap,     r.MaxGapPos,    r.Overshoot,
                                           r.ZoneLength, r.ChannelGap, r.ChannelGapPos};
  // The phase (bit of TruncatedPhases) each row is measured in.
  const int32_t phaseBit[VortexAreaRowCount] = {1, 2, 2, 2, 2, 4, 4};
  const std::vector<VortexAreaRow> rows = VortexAreaRows(r);
  for (int32_t i = 0; i < VortexAreaRowCount; ++i) {
    std::string why;
    if ((out.TruncatedPhases & phaseBit[i]) != 0) {
      why = "линия тока не дошла до конца участка за " + std::to_string(AreaTraceStepLimit) +
            " шагов (шаг построения слишком мал)";
    } else if (!std::isfinite(values[i])) {
      why = "значение не является числом";
    } else if (values[i] < 0) {
      why = "отрицательное значение " + rows[i].Value +
            " м (линия тока ушла за ось: проверьте начальную точку и шаг)";
    }
    if (why.empty()) continue;
    out.FailedRows |= 1u << i;
    out.Failures.push_back(rows[i].Label + ": " + why);
  }
}

}  // namespace

VortexAreaOutcome CalcVortexAreaParams(Model& m, const TRealPoint& first, const TRealPoint& second,
                                       TVortexAreaParams& result, Real dt, Observer& obs) {
  VortexAreaOutcome out;
  m.AreaCalcStopRequested = false;
  if (!Finite(first) || !Finite(second)) {
    out.Error = "Начальные точки линий тока заданы неверно";
    return out;
  }
  // A step of zero would never move the traces; a negative one runs them backwards.
  if (!std::isfinite(dt) || dt <= 0) {
    out.Error = "Шаг построения линий тока должен быть больше нуля";
    return out;
  }
  if (m.BodyRibCount < 5 || static_cast<int32_t>(m.BodyRibs.size()) < m.BodyRibCount) {
    out.Error = "Область не построена";
    return out;
  }

  const Real b = m.ChannelRadius;
  const Real l = m.FlangeLength;
  const Real alpha = m.FlangeAngle;
  const Real tipX = -l * std::cos(alpha);
  const TRealPoint t{tipX, l * std::sin(alpha) + b};  // inner tip of the flange
  const TRealPoint mouth{0, b};                         // mouth edge
  const TRealPoint wallEnd{m.ChannelLength, b};         // far end of the inner wall

  if (PointsEqual(t, mouth)) {  // no flange: the flange line and its perpendicular are undefined
    out.Error = "Длина козырька должна быть больше нуля";
    return out;
  }

  AreaTracer tracer(m, obs, dt);
  auto stopped = [&out](int32_t phase) {
    out.Stopped = true;
    out.StoppedInPhase = phase;
    return out;
  };

  // ---- phase 1: effective width, where the first line passes the tip's x ----
  if (alpha > UprightFlangeAngle) {
    result.EffWidth = 2 * b;
    result.EffWidthPoint = mouth;
  } else {
    TRealPoint p = first;
    Real len = 0;
    tracer.StartPhase();
    while (p.X <= tipX && len <= 2 * l) {
      if (tracer.AtLimit()) {
        out.TruncatedPhases |= 1;
        break;
      }
      if (!tracer.Step(p, len)) {
        out.StalledPhases |= 1;
        break;
      }
      if (tracer.CountAndTestStop()) return stopped(1);
    }
    result.EffWidth = 2 * p.Y;
    result.EffWidthPoint = p;
  }

  // ---- phase 2: the zone along the inner surface of the flange ----
  TRealPoint p = first;
  Real len = 0;
  result.Overshoot = 0;
  result.MaxGapPos = 0;
  result.MaxGap = 0;
  result.ZoneLength = 0;
  bool reattached = false;
  bool atWall = false;
  const TRealPoint n = UnitNormal(t, mouth);
  const TRealPoint q = t + n;  // t and q span the tip perpendicular
  Real ca, cb, cc;
  LineCoefs(t, q, ca, cb, cc);
  auto side = [&](const TRealPoint& x) {
    return Sign(LineValue(x, static_cast<double>(ca), static_cast<double>(cb),
                          static_cast<double>(cc)));
  };
  const int s0 = side(first);
  out.FirstLine.push_back(p);
  obs.TracePoint(p, true);
  tracer.StartPhase();
  while (!atWall && len <= 2 * l && p.X <= 0) {
    if (tracer.AtLimit()) {
      out.TruncatedPhases |= 2;
      break;
    }
    const TRealPoint prev = p;
    if (!tracer.Step(p, len)) {
      out.StalledPhases |= 2;
      break;
    }
    atWall = tracer.HitsWall(prev, p);
    out.FirstLine.push_back(p);
    obs.TracePoint(p, false);
    const Real d = DistToLine(p, t, mouth);
    if (d > result.MaxGap) {
      result.MaxGap = d;
      result.MaxGapPos = DistToLine(p, t, q);
      result.MaxGapPoint = p;
    }
    if (side(p) == s0) {
      const Real e = DistToLine(p, t, q);
      if (e > result.Overshoot) {
        result.Overshoot = e;
        result.OvershootPoint = p;
      }
    } else if (!reattached && DistToLine(p, t, mouth) < ReattachDistance) {
      reattached = true;
      result.ZoneLength = DistToLine(p, t, q) + result.Overshoot;
      result.ZoneEndPoint = p;
    }
    if (tracer.CountAndTestStop()) return stopped(2);
  }
  if (!reattached) {
    result.ZoneLength = DistToLine(p, t, q) + result.Overshoot;
    result.ZoneEndPoint = p;
  }

  // ---- phase 3: the zone inside the channel ----
  len = 0;
  if (p.X < 0 || p.Y > b) {
    p = second;
  } else {
    out.SecondContinuesFirst = true;  // the first line has already entered the mouth
  }
  result.ChannelGap = 0;
  atWall = false;
  tracer.StartPhase();
  const TRealPoint n4 = UnitNormal(mouth, wallEnd);
  const TRealPoint q4 = mouth + n4;  // distance to mouth..q4 is |x|
  const Real suctionX = m.SuctionX;
  out.SecondLine.push_back(p);
  obs.TracePoint(p, true);
  while (!atWall && len <= 2 * suctionX && (p.X < suctionX || p.Y > b || p.Y < -b)) {
    if (tracer.AtLimit()) {
      out.TruncatedPhases |= 4;
      break;
    }
    const TRealPoint prev = p;
    if (!tracer.Step(p, len)) {
      out.StalledPhases |= 4;
      break;
    }
    atWall = tracer.HitsWall(prev, p);
    out.SecondLine.push_back(p);
    obs.TracePoint(p, false);
    const Real d = DistToLine(p, mouth, wallEnd);
    if (d > result.ChannelGap) {
      result.ChannelGap = d;
      result.ChannelGapPoint = p;
      result.ChannelGapPos = DistToLine(p, mouth, q4);
    }
    if (tracer.CountAndTestStop()) return stopped(3);
  }

  JudgeDimensions(result, out);
  out.Ok = true;
  return out;
}

VortexAreaStartTexts DefaultVortexAreaStart(const Model& m) {
  const Real b = m.ChannelRadius;
  const Real l = m.FlangeLength;
  const Real alpha = m.FlangeAngle;
  VortexAreaStartTexts s;
  s.FirstX = FormatFixed(-l * std::cos(alpha) - 0.001L, 6, 4);
  s.FirstY = FormatFixed(l * std::sin(alpha) + b + 0.001L, 6, 4);
  s.SecondX = "0,0000";
  s.SecondY = FormatFixed(b - 0.001L, 6, 4);
  s.Dt = "0,001";
  return s;
}

// ---- picture ----

Real VortexAreaScale(const Model& m, int32_t width, int32_t height) {
  const TRib& r0 = m.BodyRibs.at(0);
  const Real sx = static_cast<Real>(width - 150) / (std::fabs(r0.P2.X - r0.P1.X) + m.SuctionX);
  const Real sy = static_cast<Real>(height - 50) / (std::fabs(r0.P1.Y - r0.P2.Y) + m.ChannelRadius);
  return std::min(sx, sy);
}

namespace {

// Round to nearest, halves to even, kept inside the int32 range so that a
// point far off the picture cannot overflow the pixel arithmetic.
int32_t RoundPixel(Real v) {
  constexpr Real limit = 1.0e9L;
  if (!(v > -limit)) return static_cast<int32_t>(-limit);
  if (!(v < limit)) return static_cast<int32_t>(limit);
  return static_cast<int32_t>(std::llrint(v));
}

}  // namespace

void VortexAreaOrigin(const Model& m, int32_t width, int32_t height, Real scale,
                      int32_t& originX, int32_t& originY) {
  originX = width - RoundPixel(m.SuctionX * scale) - 40;
  originY = height - 20;
}

ScreenPoint WorldToScreen(const ScreenMap& map, const TRealPoint& p) {
  return {RoundPixel(p.X * map.Scale) + map.OriginX, map.OriginY - RoundPixel(p.Y * map.Scale)};
}

std::vector<MarkItem> VortexAreaMarks(const Model& m, const TVortexAreaParams& r,
                                      const ScreenMap& map, uint32_t failed) {
  // Rows of VortexAreaRows: Bэф 0, b 1, l 2, a0 3, a 4, dmax 5, lmax 6.
  auto measured = [failed](int row) { return (failed & (1u << row)) == 0; };
  std::vector<MarkItem> items;
  auto s = [&map](const TRealPoint& p) { return WorldToScreen(map, p); };
  auto line = [&items](MarkColour c, ScreenPoint a, ScreenPoint b) {
    items.push_back({MarkKind::Line, c, a, b, {}});
  };
  auto dot = [&items](MarkColour c, ScreenPoint at) {
    items.push_back({MarkKind::Dot, c, {at.X - 1, at.Y - 1}, {at.X + 2, at.Y + 2}, {}});
  };
  auto text = [&items](MarkColour c, ScreenPoint at, const char* t) {
    items.push_back({MarkKind::Text, c, at, at, t});
  };

  const Real b = m.ChannelRadius;
  const Real l = m.FlangeLength;
  const Real alpha = m.FlangeAngle;
  const TRealPoint t{-l * std::cos(alpha), l * std::sin(alpha) + b};
  const TRealPoint mouth{0, b};
  const TRealPoint wallEnd{m.ChannelLength, b};
  const TRealPoint nf = UnitNormal(mouth, t);        // towards the flange
  const TRealPoint nw = UnitNormal(wallEnd, mouth);  // towards the channel wall, (0, 1)

  // "Bэф": from the axis up to the point where the width was taken.
  if (measured(0)) {
    const ScreenPoint e = s(r.EffWidthPoint);
    line(MarkMagenta, {e.X, map.OriginY}, e);
    dot(MarkMagenta, e);
    text(MarkMagenta, {e.X + 5, (e.Y + map.OriginY) / 2}, "Bэф");
  }
  // "b": from the widest point across to the flange surface.
  if (measured(1)) {
    const TRealPoint e = r.MaxGapPoint + Scaled(nf, r.MaxGap + GapMarkReach);
    TRealPoint f = e;  // the segment misses the flange: the mark runs to its end
    if (m.BodyRibCount > 3) {
      TRealPoint cross;
      if (SegmentsIntersect(r.MaxGapPoint, e, m.BodyRibs[3].P1, m.BodyRibs[3].P2, &cross)) {
        f = cross;
      }
    }
    const ScreenPoint g = s(r.MaxGapPoint);
    const ScreenPoint fs = s(f);
    line(MarkTeal, g, fs);
    dot(MarkTeal, g);
    text(MarkTeal, {(g.X + fs.X) / 2 + 1, (g.Y + fs.Y) / 2 + 1}, "b");
  }
  // "a": extension lines at the overshoot and at the zone's end, and the
  // dimension line between them, on the fluid side of the zone.
  if (measured(3) && measured(4)) {
    const Real d0 = DistToLine(r.OvershootPoint, t, mouth);
    line(MarkNavy, s(r.ZoneEndPoint),
         s(r.ZoneEndPoint - Scaled(nf, r.MaxGap + ExtensionReach)));
    line(MarkNavy, s(r.OvershootPoint),
         s(r.OvershootPoint - Scaled(nf, r.MaxGap - d0 + ExtensionReach)));
    const ScreenPoint h1 = s(r.OvershootPoint - Scaled(nf, r.MaxGap - d0 + DimensionReach));
    const ScreenPoint h2 = s(r.ZoneEndPoint - Scaled(nf, r.MaxGap + DimensionReach));
    line(MarkNavy, h1, h2);
    text(MarkNavy, {(h1.X + h2.X) / 2, (h1.Y + h2.Y) / 2 - 5}, "a");
  }
  // "dmax": from the point of the largest gap up to the wall line.
  const TRealPoint wallFoot = r.ChannelGapPoint + Scaled(nw, r.ChannelGap);
  if (measured(5)) {
    const ScreenPoint c = s(r.ChannelGapPoint);
    const ScreenPoint g = s(wallFoot);
    line(MarkTeal, c, g);
    text(MarkTeal, {(c.X + g.X) / 2 + 2, (c.Y + g.Y) / 2 - 3}, "dmax");
  }
  // "lmax": from the mouth plane to the foot, above the wall line.
  if (measured(6)) {
    line(MarkNavy, s(mouth), s(mouth + Scaled(nw, WallExtension)));
    line(MarkNavy, s(wallFoot), s(r.ChannelGapPoint + Scaled(nw, r.ChannelGap + WallExtension)));
    const ScreenPoint j1 = s(mouth + Scaled(nw, WallDimension));
    const ScreenPoint j2 = s(r.ChannelGapPoint + Scaled(nw, r.ChannelGap + WallDimension));
    line(MarkNavy, j1, j2);
    text(MarkNavy, {(j1.X + j2.X) / 2, (j1.Y + j2.Y) / 2 - 13}, "lmax");
  }
  return items;
}

std::vector<VortexAreaRow> VortexAreaRows(const TVortexAreaParams& r, uint32_t failed) {
  std::vector<VortexAreaRow> rows = {
      {"Bэф", FormatFixed(r.EffWidth, 6, 4)},   {"b", FormatFixed(r.MaxGap, 6, 4)},
      {"l", FormatFixed(r.MaxGapPos, 6, 4)},    {"a0", FormatFixed(r.Overshoot, 6, 4)},
      {"a", FormatFixed(r.ZoneLength, 6, 4)},   {"dmax", FormatFixed(r.ChannelGap, 6, 4)},
      {"lmax", FormatFixed(r.ChannelGapPos, 6, 4)},
  };
  for (int32_t i = 0; i < VortexAreaRowCount; ++i) {
    if ((failed & (1u << i)) == 0) continue;
    rows[i].Value = VortexAreaNotMeasuredText;
    rows[i].Measured = false;
  }
  return rows;
}

}  // namespace mdv
