#include "ui/speed_map.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "core/analysis/isolines.h"
#include "core/base/numfmt.h"
#include "ui/chart_style.h"

namespace mdv {

namespace {

// Viridis at ten evenly spaced stops (matplotlib's table); linear between.
constexpr unsigned kViridis[10] = {0x440154, 0x482878, 0x3e4989, 0x31688e, 0x26828e,
                                   0x1f9e89, 0x35b779, 0x6ece58, 0xb5de2b, 0xfde725};

const QColor kSolid(215, 215, 215);  // the walls drawn over the map

// Pixels of the frame around the map: room for the axis labels at the left
// and bottom, for the colour bar and its labels at the right.
constexpr int kLeft = 48, kTop = 22, kBottom = 36, kRight = 96;
constexpr int kBarWidth = 16;
// A line shorter than this on the screen gets no label, px.
constexpr double kMinLabelledLength = 70;

QString Num(double v) { return QString::fromStdString(FormatGeneral(static_cast<Real>(v))); }

// The chains of contour ribs that join end to start (the suction section
// left out), as polylines of points, m.
std::vector<std::vector<QPointF>> RibChains(const TRibArray& ribs, int32_t suction) {
  std::vector<std::vector<QPointF>> chains;
  for (std::size_t r = 0; r < ribs.size(); ++r) {
    if (static_cast<int32_t>(r) == suction) continue;
    const QPointF a(static_cast<double>(ribs[r].P1.X), static_cast<double>(ribs[r].P1.Y));
    const QPointF b(static_cast<double>(ribs[r].P2.X), static_cast<double>(ribs[r].P2.Y));
    if (chains.empty() || chains.back().back() != a) chains.push_back({a});
    chains.back().push_back(b);
  }
  return chains;
}

}  // namespace

std::vector<double> FillWallPoints(const AveragingGrid& g, const std::vector<double>& speed) {
  std::vector<double> v = speed;
  const std::size_t n = v.size();
  if (g.Inside.size() != n || n == 0) return v;
  std::vector<uint8_t> known(g.Inside.begin(), g.Inside.end()), next;
  bool any = false;
  for (uint8_t k : known) any = any || k;
  if (!any) return v;
  // Each pass gives an unknown point the mean of its known neighbours of the
  // pass before (four, then the diagonals when none of those is known).
  for (bool changed = true; changed;) {
    changed = false;
    next = known;
    for (int32_t j = 0; j < g.Ny; ++j) {
      for (int32_t i = 0; i < g.Nx; ++i) {
        const std::size_t c = static_cast<std::size_t>(j) * g.Nx + i;
        if (known[c]) continue;
        double sum = 0;
        int count = 0;
        for (const int pass : {0, 1}) {
          for (const auto& [di, dj] : pass == 0 ? std::vector<std::pair<int, int>>{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}
                                                : std::vector<std::pair<int, int>>{{1, 1}, {-1, 1}, {1, -1}, {-1, -1}}) {
            const int32_t a = i + di, b = j + dj;
            if (a < 0 || a >= g.Nx || b < 0 || b >= g.Ny) continue;
            const std::size_t q = static_cast<std::size_t>(b) * g.Nx + a;
            if (!known[q]) continue;
            sum += v[q];
            ++count;
          }
          if (count > 0) break;
        }
        if (count == 0) continue;
        v[c] = sum / count;
        next[c] = 1;
        changed = true;
      }
    }
    known.swap(next);
  }
  return v;
}

QColor Viridis(double t) {
  if (!(t > 0)) t = 0;  // NaN too
  if (t > 1) t = 1;
  const double x = t * 9;
  const int k = std::min(static_cast<int>(x), 8);
  const double f = x - k;
  auto ch = [&](int shift) {
    const double a = (kViridis[k] >> shift) & 0xff;
    const double b = (kViridis[k + 1] >> shift) & 0xff;
    return static_cast<int>(std::lround(a + f * (b - a)));
  };
  return QColor(ch(16), ch(8), ch(0));
}

double SpeedScaleTop(const std::vector<double>& speed, const std::vector<uint8_t>& inside) {
  std::vector<double> v;
  v.reserve(speed.size());
  for (std::size_t k = 0; k < speed.size(); ++k)
    if ((k >= inside.size() || inside[k]) && std::isfinite(speed[k])) v.push_back(speed[k]);
  if (v.empty()) return 1;
  const std::size_t at = static_cast<std::size_t>(0.99 * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(at), v.end());
  const double p = v[at];
  if (!(p > 0)) return 1;
  // Up to the next multiple of half a power of ten: 2,37 → 2,5; 0,83 → 0,85.
  const double half = 0.5 * std::pow(10.0, std::floor(std::log10(p)));
  return std::ceil(p / half * (1 - 1e-12)) * half;
}

SpeedMap::SpeedMap(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpeedMap::SetData(SpeedMapData data) {
  data_ = std::move(data);
  has_ = data_.Grid.Nx >= 2 && data_.Grid.Ny >= 2 &&
         data_.Speed.size() == static_cast<std::size_t>(data_.Grid.Nx) * data_.Grid.Ny;
  top_ = has_ ? SpeedScaleTop(data_.Speed, data_.Grid.Inside) : 1;
  labels_.clear();
  lineCounts_.clear();
  update();
}

void SpeedMap::Clear() {
  data_ = {};
  has_ = false;
  top_ = 1;
  labels_.clear();
  lineCounts_.clear();
  update();
}

void SpeedMap::SetCaptureSpeeds(std::vector<double> speeds) {
  capture_ = std::move(speeds);
  update();
}

void SpeedMap::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Render(size()));
}

SpeedMap::View SpeedMap::MakeView(QSize size) const {
  const AveragingGrid& g = data_.Grid;
  // World extents: the grid and the contour, m.
  View v{g.X0, g.X0 + g.Dx * (g.Nx - 1), g.Y0, g.Y0 + g.Dy * (g.Ny - 1), 1, 0, 0};
  for (const TRib& r : data_.Contour) {
    for (const TRealPoint& q : {r.P1, r.P2}) {
      v.X0 = std::min(v.X0, static_cast<double>(q.X));
      v.X1 = std::max(v.X1, static_cast<double>(q.X));
      v.Y1 = std::max(v.Y1, static_cast<double>(q.Y));
    }
  }
  const double availW = size.width() - kLeft - kRight;
  const double availH = size.height() - kTop - kBottom;
  if (!(v.X1 > v.X0) || !(v.Y1 > v.Y0)) return v;
  v.S = std::min(availW / (v.X1 - v.X0), availH / (v.Y1 - v.Y0));
  v.Ox = kLeft + 0.5 * (availW - v.S * (v.X1 - v.X0));
  v.Oy = kTop + 0.5 * (availH - v.S * (v.Y1 - v.Y0));
  return v;
}

QPointF SpeedMap::WorldToPixel(double x, double y, QSize size) const {
  const View v = MakeView(size);
  return {v.Ox + (x - v.X0) * v.S, v.Oy + (v.Y1 - y) * v.S};
}

QImage SpeedMap::Render(QSize size) {
  QImage img(size, QImage::Format_RGB32);
  img.fill(Qt::white);
  labels_.clear();
  lineCounts_.clear();
  if (!has_ || size.width() < kLeft + kRight + 20 || size.height() < kTop + kBottom + 20)
    return img;
  const AveragingGrid& g = data_.Grid;
  // The points in and next to the walls carry the flow's speed carried over
  // from their neighbours: the colours and the lines reach the walls, and
  // the walls' real outline is drawn over them.
  const std::vector<double> speed = FillWallPoints(g, data_.Speed);

  const View v = MakeView(size);
  const double x0 = v.X0, x1 = v.X1, y0 = v.Y0, y1 = v.Y1, s = v.S, ox = v.Ox, oy = v.Oy;
  auto px = [&](double x) { return ox + (x - x0) * s; };
  auto py = [&](double y) { return oy + (y1 - y) * s; };
  auto pt = [&](double x, double y) { return QPointF(px(x), py(y)); };

  // The field, bilinear between the flow points of each cell.
  {
    const int c0 = static_cast<int>(std::floor(px(g.X0)));
    const int c1 = static_cast<int>(std::ceil(px(g.X0 + g.Dx * (g.Nx - 1))));
    const int r0 = static_cast<int>(std::floor(py(g.Y0 + g.Dy * (g.Ny - 1))));
    const int r1 = static_cast<int>(std::ceil(py(g.Y0)));
    const auto at = [&](int i, int j) { return static_cast<std::size_t>(j) * g.Nx + i; };
    for (int row = std::max(r0, 0); row < std::min(r1, size.height()); ++row) {
      auto* line = reinterpret_cast<QRgb*>(img.scanLine(row));
      const double y = y1 - (row + 0.5 - oy) / s;
      const double fj = std::clamp((y - g.Y0) / g.Dy, 0.0, g.Ny - 1.0);
      const int j = std::min(static_cast<int>(fj), g.Ny - 2);
      const double ty = fj - j;
      for (int col = std::max(c0, 0); col < std::min(c1, size.width()); ++col) {
        const double x = x0 + (col + 0.5 - ox) / s;
        const double fi = std::clamp((x - g.X0) / g.Dx, 0.0, g.Nx - 1.0);
        const int i = std::min(static_cast<int>(fi), g.Nx - 2);
        const double tx = fi - i;
        const std::size_t k[4] = {at(i, j), at(i + 1, j), at(i, j + 1), at(i + 1, j + 1)};
        const double w[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
        double sum = 0;
        for (int c = 0; c < 4; ++c) sum += w[c] * speed[k[c]];
        line[col] = Viridis(sum / top_).rgb();
      }
    }
  }

  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);

  // Capture-speed lines: a white casing under a black line reads on both
  // ends of the colour scale.
  const ScalarGridView view{g.X0, g.Y0, g.Dx, g.Dy, g.Nx, g.Ny, speed.data(), nullptr};
  QFont labelFont = font();
  labelFont.setPointSizeF(std::max(labelFont.pointSizeF() - 1, 7.0));
  p.setFont(labelFont);
  const QFontMetrics fm(labelFont);
  struct Label {
    QPointF at;  // px
    QString text;
  };
  std::vector<Label> pending;  // drawn over the walls
  for (const double level : capture_) {
    const std::vector<IsoPolyline> lines = Isolines(view, level);
    lineCounts_.push_back(static_cast<int>(lines.size()));
    for (const IsoPolyline& l : lines) {
      QPainterPath path;
      path.moveTo(pt(l[0].X, l[0].Y));
      for (std::size_t k = 1; k < l.size(); ++k) path.lineTo(pt(l[k].X, l[k].Y));
      p.strokePath(path, QPen(QColor(255, 255, 255), 3.2));
      p.strokePath(path, QPen(QColor(0, 0, 0), 1.3));
    }
    for (const IsoPolyline& l : lines) {
      if (PolylineLength(l) * s < kMinLabelledLength) continue;
      const IsoPoint m = PolylineMidpoint(l);
      pending.push_back({pt(m.X, m.Y), Num(level) + QStringLiteral(" м/с")});
    }
  }

  // The capture zone from the tracers: red, solid at 0,9, dashed at 0,5.
  zoneCounts_.clear();
  const TracerGrid& cg = data_.CaptureGrid;
  if (cg.Nx > 1 && cg.Ny > 1 && data_.CaptureFraction.size() == cg.Source.size()) {
    std::vector<uint8_t> known(data_.CaptureFraction.size());
    for (std::size_t k = 0; k < known.size(); ++k) known[k] = std::isfinite(data_.CaptureFraction[k]) ? 1 : 0;
    const ScalarGridView zone{cg.X0, cg.Y0, cg.Dx, cg.Dy, cg.Nx, cg.Ny, data_.CaptureFraction.data(), known.data()};
    for (const double level : CaptureZoneLevels) {
      const std::vector<IsoPolyline> lines = Isolines(zone, level);
      zoneCounts_.push_back(static_cast<int>(lines.size()));
      const QPen pen(QColor(220, 20, 20), 2.2, level > 0.7 ? Qt::SolidLine : Qt::DashLine);
      for (const IsoPolyline& l : lines) {
        QPainterPath path;
        path.moveTo(pt(l[0].X, l[0].Y));
        for (std::size_t k = 1; k < l.size(); ++k) path.lineTo(pt(l[k].X, l[k].Y));
        p.strokePath(path, QPen(QColor(255, 255, 255), 4));
        p.strokePath(path, pen);
      }
      for (const IsoPolyline& l : lines) {
        if (PolylineLength(l) * s < kMinLabelledLength) continue;
        QString text = QStringLiteral("захват %1 %").arg(static_cast<int>(std::lround(level * 100)));
        if (data_.CaptureProvisional) text += QStringLiteral(" (предв.)");
        const IsoPoint m = PolylineMidpoint(l);
        QRectF box = fm.boundingRect(text).adjusted(-3, -1, 3, 1);
        box.moveCenter(pt(m.X, m.Y));
        p.setPen(QPen(QColor(220, 20, 20), 0.8));
        p.setBrush(QColor(255, 255, 255, 225));
        p.drawRoundedRect(box, 3, 3);
        p.drawText(box, Qt::AlignCenter, text);
        labels_.append(text);
      }
    }
  }

  // The walls over the map: each chain of ribs that closes on itself (the
  // hood: channel wall and flange with their thickness) filled, the plane
  // and any open chain as a thick line, the suction section dotted.
  std::vector<QPolygonF> solids;
  for (const std::vector<QPointF>& chain : RibChains(data_.Contour, data_.SuctionRib)) {
    QPolygonF poly;
    for (const QPointF& q : chain) poly << pt(q.x(), q.y());
    if (chain.size() >= 4) {
      solids.push_back(poly);
      p.setPen(QPen(QColor(0, 0, 0), 1.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
      p.setBrush(kSolid);
      p.drawPolygon(poly);
    } else {
      p.setPen(QPen(QColor(0, 0, 0), 2.4, Qt::SolidLine, Qt::FlatCap));
      p.drawPolyline(poly);
    }
  }
  p.setBrush(Qt::NoBrush);
  if (data_.SuctionRib >= 0 && static_cast<std::size_t>(data_.SuctionRib) < data_.Contour.size()) {
    const TRib& rib = data_.Contour[static_cast<std::size_t>(data_.SuctionRib)];
    p.setPen(QPen(QColor(0, 0, 0), 1.2, Qt::DotLine, Qt::FlatCap));
    p.drawLine(pt(static_cast<double>(rib.P1.X), static_cast<double>(rib.P1.Y)),
               pt(static_cast<double>(rib.P2.X), static_cast<double>(rib.P2.Y)));
  }

  // The labels of the lines, except where a line runs inside a wall (its
  // values there are carried over from the flow, not measured).
  for (const Label& label : pending) {
    bool hidden = false;
    for (const QPolygonF& solid : solids) hidden = hidden || solid.containsPoint(label.at, Qt::OddEvenFill);
    if (hidden) continue;
    QRectF box = fm.boundingRect(label.text).adjusted(-3, -1, 3, 1);
    box.moveCenter(label.at);
    p.setFont(labelFont);
    p.setPen(QPen(QColor(0, 0, 0), 0.8));
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawRoundedRect(box, 3, 3);
    p.drawText(box, Qt::AlignCenter, label.text);
    labels_.append(label.text);
  }
  p.setBrush(Qt::NoBrush);

  // Axes in metres with the same step on both.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setFont(font());
  const QFontMetrics am(font());
  const QRectF frame(pt(x0, y1), pt(x1, y0));
  p.setPen(QColor(0, 0, 0));
  p.setBrush(Qt::NoBrush);
  p.drawRect(frame);
  const double step = NiceTickStep(std::max(x1 - x0, y1 - y0), 8);
  for (double v = std::ceil(x0 / step - 1e-9) * step; v <= x1 + 1e-9; v += step) {
    const double c = px(v);
    p.drawLine(QPointF(c, frame.bottom()), QPointF(c, frame.bottom() + 4));
    const QString t = Num(std::abs(v) < 1e-12 ? 0 : v);
    p.drawText(QPointF(c - am.horizontalAdvance(t) / 2.0, frame.bottom() + 5 + am.ascent()), t);
  }
  for (double v = std::ceil(y0 / step - 1e-9) * step; v <= y1 + 1e-9; v += step) {
    const double r = py(v);
    p.drawLine(QPointF(frame.left() - 4, r), QPointF(frame.left(), r));
    const QString t = Num(std::abs(v) < 1e-12 ? 0 : v);
    p.drawText(QPointF(frame.left() - 6 - am.horizontalAdvance(t), r + am.ascent() / 2.0 - 1), t);
  }
  const QString xTitle = QStringLiteral("x, м");
  p.drawText(QPointF(frame.right() - am.horizontalAdvance(xTitle), size.height() - 3), xTitle);
  // Above the y labels, clear of the top tick's label.
  p.drawText(QPointF(std::max(frame.left() - 40, 2.0), frame.top() - 8), QStringLiteral("y, м"));

  // The colour bar.
  const QRectF bar(frame.right() + 18, frame.top(), kBarWidth, frame.height());
  for (int r = 0; r < static_cast<int>(bar.height()); ++r) {
    p.setPen(Viridis(1 - (r + 0.5) / bar.height()));
    p.drawLine(QPointF(bar.left(), bar.top() + r), QPointF(bar.right(), bar.top() + r));
  }
  p.setPen(QColor(0, 0, 0));
  p.drawRect(bar);
  const double barStep = NiceTickStep(top_, 5);
  for (double v = 0; v <= top_ * (1 + 1e-9); v += barStep) {
    const double r = bar.bottom() - v / top_ * bar.height();
    p.drawLine(QPointF(bar.right(), r), QPointF(bar.right() + 4, r));
    p.drawText(QPointF(bar.right() + 6, r + am.ascent() / 2.0 - 1), Num(v));
  }
  for (const double level : capture_) {
    if (level <= 0 || level > top_) continue;
    const double r = bar.bottom() - level / top_ * bar.height();
    p.drawLine(QPointF(bar.left() - 3, r), QPointF(bar.left() + kBarWidth / 2.0, r));
  }
  const QString unit = QStringLiteral("|V|, м/с");
  p.drawText(QPointF(bar.left(), bar.top() - 8), unit);
  return img;
}

}  // namespace mdv
