#include "core/analysis/contraction.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

// Body ribs of the area: 3 the flange's inner face (its end → the corner),
// 4 the channel's inner wall (the corner → the channel's end).
constexpr size_t FlangeInnerRib = 3;
constexpr size_t ChannelWallRib = 4;

// Relative slack of the section count, so that a section on the last place is
// not lost to rounding.
constexpr Real SectionCountSlack = 1e-9L;

double Pi64() { return std::acos(-1.0); }

std::string Fixed(double v, int decimals) { return FormatFixed(static_cast<Real>(v), 15, decimals); }

// Decimal comma, up to 6 significant digits; empty when not known.
std::string Number(double v) {
  return std::isfinite(v) ? FormatGeneral(static_cast<Real>(std::round(v * 1e6) / 1e6)) : std::string();
}

}  // namespace

TRealPoint MouthEdge(const Model& m) {
  if (m.ContourArea) {
    // Where the inner wall becomes the channel: the start of its last
    // straight stretch at the channel's radius (the parametric hood's mouth
    // edge, a profiled inlet's reattachment, a rounded inlet's tangent point).
    const Contour& c = m.HoodContour;
    int k = static_cast<int>(c.Wall.size()) - 1;
    const Real b = m.ChannelRadius;
    while (k > 0 && c.Wall[static_cast<size_t>(k - 1)].ArcRadius == 0 && c.Wall[static_cast<size_t>(k - 1)].End.Y == b &&
           ContourVertex(c, k - 1).Y == b && ContourVertex(c, k - 1).X < c.Wall[static_cast<size_t>(k - 1)].End.X) {
      --k;
    }
    return k >= 0 ? ContourVertex(c, k) : TRealPoint{0, b};
  }
  if (m.BodyRibs.size() <= ChannelWallRib) return {0, m.ChannelRadius};
  // Three separation points: the corner at (0, B) sheds, and it is the last
  // edge the flow passes before the channel. Two: the flange is flat and the
  // flow enters the channel at the flange's end.
  return m.SeparationCount > 2 ? m.BodyRibs[ChannelWallRib].P1 : m.BodyRibs[FlangeInnerRib].P1;
}

Real MouthX(const Model& m) { return MouthEdge(m).X; }

std::vector<Real> ContractionSectionXs(const Model& m) {
  std::vector<Real> xs;
  const Real b = m.ChannelRadius;
  if (!(b > 0)) return xs;
  const Real x0 = MouthX(m);
  const Real last = m.SuctionX - static_cast<Real>(ContractionSuctionClearanceOverB) * b;
  const Real step = static_cast<Real>(ContractionSectionStepOverB) * b;
  // A section that falls on the last place to rounding is kept.
  const Real count = std::floor((last - x0) / step + SectionCountSlack);
  for (int32_t k = 1; k <= count; ++k) xs.push_back(x0 + step * k);
  return xs;
}

TRealPoint ContractionSectionPoint(const Model& m, Real x, int32_t j) {
  const Real y = m.ChannelRadius * (static_cast<Real>(j) + 0.5L) / ContractionSectionPoints;
  return {x, std::min(y, m.ChannelRadius - m.VortexSpacing / 2)};
}

double ContractionSectionRadius(double radius, double spacing, int32_t j) {
  return std::min(radius * (j + 0.5) / ContractionSectionPoints, radius - spacing / 2);
}

TRealPoint ContractionWallPoint(const Model& m, Real x) { return {x, m.ChannelRadius - m.VortexSpacing}; }

double BordaCarnotZeta(double cc) {
  const double excess = 1 / cc - 1;  // the jet's excess speed over the channel's mean, in that mean
  return excess * excess;
}

double SectionCc(std::span<const double> vx, double radius, double* flux) {
  const double n = static_cast<double>(vx.size());
  const double dy = radius / n;
  double q = 0, i = 0;  // 2π ∫ vx y dy, m³/s; 2π ∫ vx² y dy, m⁴/s²
  for (size_t j = 0; j < vx.size(); ++j) {
    const double y = (static_cast<double>(j) + 0.5) * dy;
    q += 2 * Pi64() * y * vx[j] * dy;
    i += 2 * Pi64() * y * vx[j] * vx[j] * dy;
  }
  if (flux != nullptr) *flux = q;
  if (!(i > 0)) return std::numeric_limits<double>::quiet_NaN();
  return q * q / (Pi64() * radius * radius * i);
}

ContractionSummary SummariseContraction(const Model& m, std::span<const double> profiles,
                                        std::span<const double> wall) {
  ContractionSummary c;
  c.Present = true;
  const TRealPoint mouth = MouthEdge(m);
  c.MouthX = static_cast<double>(mouth.X);
  c.MouthY = static_cast<double>(mouth.Y);
  c.WallOffset = static_cast<double>(m.VortexSpacing);
  const double radius = static_cast<double>(m.ChannelRadius);
  const double d = 2 * radius;
  const std::vector<Real> xs = ContractionSectionXs(m);
  const size_t n = ContractionSectionPoints;
  if (profiles.size() < xs.size() * n || wall.size() < xs.size() || !(radius > 0)) return c;
  for (size_t k = 0; k < xs.size(); ++k) {
    ContractionSection s;
    s.X = static_cast<double>(xs[k]);
    s.XOverD = (s.X - c.MouthX) / d;
    const std::span<const double> vx = profiles.subspan(k * n, n);
    s.Cc = SectionCc(vx, radius, &s.Flux);
    s.VxWall = wall[k];
    const size_t top = static_cast<size_t>(std::max_element(vx.begin(), vx.end()) - vx.begin());
    s.VxMax = vx[top];
    s.ZeroRadius = radius;
    s.Vx.assign(vx.begin(), vx.end());
    for (size_t j = top; j + 1 < n; ++j) {
      if (!(vx[j + 1] < 0)) continue;
      const double y0 = static_cast<double>(ContractionSectionPoint(m, xs[k], static_cast<int32_t>(j)).Y);
      const double y1 = static_cast<double>(ContractionSectionPoint(m, xs[k], static_cast<int32_t>(j + 1)).Y);
      s.ZeroRadius = y0 + (y1 - y0) * vx[j] / (vx[j] - vx[j + 1]);
      break;
    }
    c.Sections.push_back(s);
  }

  for (const ContractionSection& s : c.Sections) {
    if (!std::isfinite(s.Cc) || (c.HasVenaContracta && !(s.Cc < c.VenaCc))) continue;
    c.HasVenaContracta = true;
    c.VenaX = s.X;
    c.VenaXOverD = s.XOverD;
    c.VenaCc = s.Cc;
  }
  if (c.HasVenaContracta) {
    c.JetRadius = radius * std::sqrt(std::max(0.0, c.VenaCc));
    c.ZetaBC = BordaCarnotZeta(c.VenaCc);
  }

  size_t k = 0;
  while (k < c.Sections.size() && !(c.Sections[k].VxWall < 0)) ++k;
  c.Separated = k < c.Sections.size();
  for (; c.Separated && k + 1 < c.Sections.size(); ++k) {
    const ContractionSection& a = c.Sections[k];
    const ContractionSection& b = c.Sections[k + 1];
    if (!(a.VxWall < 0 && b.VxWall >= 0)) continue;
    // Linear between the last section with reverse flow and the next.
    const double t = a.VxWall / (a.VxWall - b.VxWall);
    c.Reattached = true;
    c.ReattachX = a.X + t * (b.X - a.X);
    c.ReattachXOverD = (c.ReattachX - c.MouthX) / d;
    break;
  }
  return c;
}

void JudgeVenaContracta(ContractionSummary& c) {
  c.VenaStandsOut = false;
  if (!c.HasVenaContracta) return;
  size_t k = c.Sections.size();
  for (size_t i = 0; i < c.Sections.size(); ++i)
    if (c.Sections[i].Cc == c.VenaCc && c.Sections[i].X == c.VenaX) k = i;
  if (k == c.Sections.size() || c.Sections.size() < 2) return;
  const ContractionSection& v = c.Sections[k];
  bool out = std::isfinite(v.CcHalfWidth95);
  for (const size_t j : {k - 1, k + 1}) {
    if (j >= c.Sections.size()) continue;  // k − 1 of the first wraps round
    const ContractionSection& n = c.Sections[j];
    out = out && std::isfinite(n.CcHalfWidth95) && n.Cc - n.CcHalfWidth95 > v.Cc + v.CcHalfWidth95;
  }
  c.VenaStandsOut = out;
}

std::string ContractionText(const ContractionSummary& c) {
  std::string out = "Устье (кромка входа в канал): x = " + Fixed(c.MouthX, 3) + " м, y = " + Fixed(c.MouthY, 3) +
                    " м\n";
  if (c.HasVenaContracta) {
    // The balance is the entry loss; Borda–Carnot only the contraction's estimate of it.
    if (std::isfinite(c.ZetaM) && !c.Sections.empty()) {
      out += "Потери на входе ζ = " + Fixed(c.ZetaM, 3) + " (по балансу импульса от сжатого сечения до x = " +
             Fixed(c.Sections.back().X, 3) + " м)\n";
    }
    if (c.VenaStandsOut) {
      out += "Сжатие струи Cc = " + Fixed(c.VenaCc, 3) + " при x = " + Fixed(c.VenaX, 3) + " м (" +
             Fixed(c.VenaXOverD, 3) + " D от устья), радиус струи " + Fixed(c.JetRadius, 4) + " м\n";
    } else {
      out += "Сжатие струи Cc = " + Fixed(c.VenaCc, 3) + ", радиус струи " + Fixed(c.JetRadius, 4) +
             " м; место сжатого сечения не выражено (Cc соседних сечений в пределах точности)\n";
    }
    out += "Оценка по сжатию струи (Борда–Карно) ζ = (1/Cc − 1)² = " + Fixed(c.ZetaBC, 3) + "\n";
  } else {
    out += "Сжатие струи не измерено\n";
  }
  if (!c.Separated) {
    out += "Обратного течения у стенки канала нет\n";
  } else if (c.Reattached) {
    out += "Присоединение к стенке при x = " + Fixed(c.ReattachX, 3) + " м (" + Fixed(c.ReattachXOverD, 2) +
           " D от устья)\n";
  } else {
    out += "Поток не присоединяется к стенке в пределах канала\n";
  }
  return out;
}

std::string ContractionCsv(const ContractionSummary& c) {
  std::string out = "x [m];x/D;flux [m3/s];Cc;vx_wall [m/s]\n";
  for (const ContractionSection& s : c.Sections) {
    out += Number(s.X) + ";" + Number(s.XOverD) + ";" + Number(s.Flux) + ";" + Number(s.Cc) + ";" +
           Number(s.VxWall) + "\n";
  }
  return out;
}

}  // namespace mdv
