#include "ui/picture.h"

#include <QPainter>
#include <QPen>
#include <QString>
#include <algorithm>
#include <cmath>

#include "core/base/numfmt.h"

namespace mdv {

namespace {

// Pixel coordinates are kept within this magnitude; a view zoomed so far that
// a point lies beyond it is off the picture anyway.
constexpr Real kPixelLimit = 1.0e6L;
// Far more ticks than any window can show; only a degenerate scale reaches it.
constexpr int kMaxTicks = 100000;

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

}  // namespace

QPen RasterPen(const QColor& color, Qt::PenStyle style) {
  QPen pen(color);
  pen.setWidth(0);
  pen.setCapStyle(Qt::SquareCap);
  pen.setJoinStyle(Qt::MiterJoin);
  // Styled pens of a bitmap canvas: dotted 3 on, 3 off; dashed 18 on, 6 off.
  if (style == Qt::DotLine) {
    pen.setDashPattern({3, 3});
  } else if (style == Qt::DashLine) {
    pen.setDashPattern({18, 6});
  } else {
    pen.setStyle(style);
  }
  return pen;
}

namespace {

// The offsets of a circle mark's outline in its box: the 3 x 3 box gives a
// 3-pixel circle (a diamond around a white centre), the 4 x 4 box a 4-pixel one.
const QPoint kRing3[] = {{1, 0}, {0, 1}, {2, 1}, {1, 2}};
const QPoint kRing4[] = {{1, 0}, {2, 0}, {0, 1}, {3, 1}, {0, 2}, {3, 2}, {1, 3}, {2, 3}};

// A circle mark with its left-top box corner at `corner`: white fill inside,
// outline in the pen's colour.
void DrawRing(QPainter& p, const QPoint& corner, int boxSize, const QColor& color) {
  if (boxSize == 3) {
    p.fillRect(corner.x() + 1, corner.y() + 1, 1, 1, kWhite);
    p.setPen(RasterPen(color));
    for (const QPoint& d : kRing3) p.drawPoint(corner + d);
  } else {
    p.fillRect(corner.x() + 1, corner.y() + 1, 2, 2, kWhite);
    p.setPen(RasterPen(color));
    for (const QPoint& d : kRing4) p.drawPoint(corner + d);
  }
}

}  // namespace

const QColor Picture::kAxisColor(0, 128, 128);

int32_t RoundPixel(Real v) {
  if (!(v == v)) return 0;  // NaN: nothing sensible to show, keep it on the origin
  v = std::clamp(v, -kPixelLimit, kPixelLimit);
  return static_cast<int32_t>(std::nearbyint(v));  // default mode: halves to even
}

double AxisTickStep(Real scale) {
  Real ratio = 500 / scale;
  if (!(ratio == ratio) || ratio > 1.0e15L) ratio = 1.0e15L;
  if (ratio < 0) ratio = 0;
  double s = static_cast<double>(static_cast<Real>(std::llrint(ratio)) / 10);
  if (s < 0.1) s = 0.1;
  return s;
}

Picture::Picture(const Model& m) : model_(m) {}

void Picture::DrawLineTo(QPainter& painter, const QPoint& a, const QPoint& b) {
  if (a == b) return;  // a zero-length line-to sets no pixel
  // The painter draws both end pixels (and leaves out the wrong one with flat
  // caps when the line runs up or left), so the end pixel is put back as it was.
  const auto* image = dynamic_cast<const QImage*>(painter.device());
  const bool restore = image != nullptr && image->rect().contains(b);
  const QRgb before = restore ? image->pixel(b) : 0;
  painter.drawLine(a, b);
  if (restore) {
    painter.save();
    painter.setPen(QPen(QColor::fromRgb(before), 0));
    painter.drawPoint(b);
    painter.restore();
  }
}

void Picture::RebuildRegionPolygon() {
  if (model_.ContourArea) {
    RebuildContourRegion();
    return;
  }
  RegionPolygon_.resize(8);
  const TRibArray& r = model_.BodyRibs;
  if (r.size() < 6) {
    RegionPolygon_.fill(QPoint(0, 0));
    return;
  }
  const int32_t px = ScreenX(model_.PlaneX) + 1;
  RegionPolygon_[0] = QPoint(px, 1);
  RegionPolygon_[1] = QPoint(ScreenX(r[2].P1.X) - 1, 1);
  RegionPolygon_[2] = QPoint(ScreenX(r[2].P1.X) - 1, ScreenY(r[2].P1.Y) - 1);
  RegionPolygon_[3] = QPoint(ScreenX(r[3].P1.X) - 1, ScreenY(r[3].P1.Y) + 1);
  RegionPolygon_[4] = QPoint(ScreenX(r[4].P1.X) - 1, ScreenY(r[4].P1.Y) + 2);
  RegionPolygon_[5] = QPoint(ScreenX(r[5].P1.X) - 1, ScreenY(r[5].P1.Y) + 2);
  RegionPolygon_[6] = QPoint(ScreenX(r[5].P1.X) - 1, PicOriginY_);
  RegionPolygon_[7] = QPoint(px, PicOriginY_);
}

void Picture::DrawParametricRibs(QPainter& p) {
  // Contour; ribs 0, 1 are doubled one row up, ribs 3, 4 one row down.
  const TRibArray& ribs = model_.BodyRibs;
  const int32_t count = std::min<int32_t>(model_.BodyRibCount, static_cast<int32_t>(ribs.size()));
  for (int32_t i = 0; i < count; ++i) {
    p.setPen(RasterPen(kBlack, i == model_.SuctionRib ? Qt::DotLine : Qt::SolidLine));
    const QPoint a = WorldToScreen(ribs[i].P1);
    const QPoint b = WorldToScreen(ribs[i].P2);
    DrawLineTo(p, a, b);
    int shift = 0;
    if (i == 0 || i == 1) shift = -1;
    if (i == 3 || i == 4) shift = 1;
    DrawLineTo(p, a + QPoint(0, shift), b + QPoint(0, shift));
  }
}

void Picture::DrawPicture(int w, int h, int32_t originX, int32_t originY, Real scale,
                          bool drawFree, bool drawFixed, bool drawAxes, bool draw) {
  w = std::max(w, 1);
  h = std::max(h, 1);
  if (image_.width() != w || image_.height() != h) {
    image_ = QImage(w, h, QImage::Format_RGB32);
    image_.fill(kWhite);
  }
  PicOriginX_ = originX;
  PicOriginY_ = originY;
  PicScale_ = scale;
  RebuildRegionPolygon();
  if (!draw) return;

  {
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Background with a one-pixel black frame.
    p.setPen(RasterPen(kBlack));
    p.setBrush(kWhite);
    p.drawRect(0, 0, w - 1, h - 1);

    if (model_.ContourArea) {
      DrawContourRibs(p);
    } else {
      DrawParametricRibs(p);
    }
  }
  if (drawFree) DrawFreeVortices();
  if (drawFixed) DrawAttachedVortices();
  if (drawAxes) {
    QPainter p(&image_);
    DrawAxes(p);
  }
  DrawStreamLines();
  DrawMarkers();
}

void Picture::SetMarkers(const std::vector<Marker>* markers, double horizon) {
  Markers_ = markers;
  MarkerHorizon_ = horizon;
  if (markers == nullptr) DrawnMarkers_ = 0;
}

QColor Picture::MarkerColor(double ageShare) {
  const double f = std::clamp(ageShare, 0.0, 1.0);
  const auto mix = [f](int young, int old) { return static_cast<int>(std::lround(young + (old - young) * f)); };
  return QColor(mix(0, 175), mix(70, 200), mix(190, 230));
}

void Picture::DrawMarkers() {
  DrawnMarkers_ = 0;
  if (image_.isNull() || Markers_ == nullptr) return;
  QPainter p(&image_);
  p.setRenderHint(QPainter::Antialiasing, false);
  const double horizon = MarkerHorizon_ > 0 ? MarkerHorizon_ : 1;
  for (const Marker& mk : *Markers_) {
    const double age = static_cast<double>(model_.Time - mk.Born);  // s
    // A 2 × 2 pixel dot: visible beside the one-pixel free vortices.
    p.fillRect(QRect(WorldToScreen(mk.Pos), QSize(2, 2)), MarkerColor(age / horizon));
    ++DrawnMarkers_;
  }
}

void Picture::DrawFreeVortices() {
  if (image_.isNull()) return;
  QPainter p(&image_);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(RasterPen(kWhite));
  p.setBrush(kWhite);
  if (model_.ContourArea) {
    // The region runs along the wall, whose pixels the erasing takes: drawn again.
    if (!RegionPolygon_.isEmpty()) p.drawPolygon(RegionPolygon_);
    DrawContourRibs(p);
  } else if (RegionPolygon_.size() == 8) {
    p.drawPolygon(RegionPolygon_);
  }

  const int32_t first = model_.AttachedCount;
  const int32_t last = std::min<int32_t>(first + model_.FreeVortexCount,
                                         static_cast<int32_t>(model_.Vortices.size()));
  p.setPen(RasterPen(kRed));
  for (int32_t k = std::max(first, 0); k < last; ++k) {
    const QPoint c = WorldToScreen(model_.Vortices[k].Pos);
    switch (VortexMarkSize_) {
      case 1:
        p.setPen(RasterPen(kRed));
        p.drawPoint(c);
        break;
      case 2:
        DrawRing(p, c - QPoint(1, 1), 3, kRed);
        break;
      case 3:
        DrawRing(p, c - QPoint(2, 2), 4, kRed);
        break;
      default:
        break;
    }
  }
}

void Picture::DrawAttachedVortices() {
  if (image_.isNull()) return;
  QPainter p(&image_);
  const int32_t count = std::min<int32_t>(model_.AttachedCount,
                                          static_cast<int32_t>(model_.Vortices.size()));
  for (int32_t k = 0; k < count; ++k) {
    DrawRing(p, WorldToScreen(model_.Vortices[k].Pos) - QPoint(2, 2), 4, kBlue);
  }
}

void Picture::DrawAxes(QPainter& p) {
  const int w = image_.width();
  const int h = image_.height();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(RasterPen(kAxisColor, Qt::DashLine));
  DrawLineTo(p, QPoint(PicOriginX_, 0), QPoint(PicOriginX_, h));
  DrawLineTo(p, QPoint(0, PicOriginY_), QPoint(w, PicOriginY_));

  const double s = AxisTickStep(PicScale_);
  p.setRenderHint(QPainter::TextAntialiasing, false);
  QFont font = p.font();
  font.setPixelSize(11);
  font.setStyleStrategy(QFont::NoAntialias);
  p.setFont(font);
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setBackground(kWhite);
  const QPen tickPen = RasterPen(kAxisColor);
  auto label = [&](int x, int y, int i) {
    const QString text = QString::fromStdString(FormatFixed(static_cast<Real>(i) * s, 3, 1));
    p.setPen(RasterPen(kBlack));
    p.drawText(QRect(x, y, 1000, 1000), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    p.setPen(tickPen);
  };
  auto offset = [&](int i) { return RoundPixel(static_cast<Real>(i) * s * PicScale_); };

  // Positive x: the tick at or beyond the right edge is still drawn (clipped).
  int32_t prev = PicOriginX_;
  for (int i = 0; prev < w && i < kMaxTicks; ++i) {
    const int32_t px = offset(i) + PicOriginX_;
    label(px - 5, PicOriginY_ + 3, i);
    DrawLineTo(p, QPoint(px, PicOriginY_ - 1), QPoint(px, PicOriginY_ + 2));
    prev = px;
  }
  for (int i = -1; i > -kMaxTicks; --i) {
    const int32_t px = offset(i) + PicOriginX_;
    if (px < 10) break;
    label(px - 5, PicOriginY_ + 3, i);
    DrawLineTo(p, QPoint(px, PicOriginY_ - 1), QPoint(px, PicOriginY_ + 2));
  }
  for (int i = 1; i < kMaxTicks; ++i) {
    const int32_t py = PicOriginY_ - offset(i);
    if (py < 10) break;
    label(PicOriginX_ - 24, py - 5, i);
    DrawLineTo(p, QPoint(PicOriginX_ - 2, py), QPoint(PicOriginX_ + 1, py));
  }
  for (int i = -1; i > -kMaxTicks; --i) {
    const int32_t py = PicOriginY_ - offset(i);
    if (py > h - 10) break;
    label(PicOriginX_ - 24, py - 5, i);
    DrawLineTo(p, QPoint(PicOriginX_ - 2, py), QPoint(PicOriginX_ + 1, py));
  }
  p.setBackgroundMode(Qt::TransparentMode);
}

void Picture::DrawStreamLines() {
  if (image_.isNull()) return;
  QPainter p(&image_);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(RasterPen(kBlue));
  for (const TRealPointArray& line : model_.StreamLines) {
    if (line.empty()) continue;
    QPoint at = WorldToScreen(line.front());
    for (size_t k = 1; k < line.size(); ++k) {
      const QPoint next = WorldToScreen(line[k]);
      DrawLineTo(p, at, next);
      at = next;
    }
  }
}

void Picture::MoveTo(const TRealPoint& pt) { pen_ = WorldToScreen(pt); }

void Picture::LineTo(const TRealPoint& pt, const QColor& color) {
  const QPoint next = WorldToScreen(pt);
  if (!image_.isNull()) {
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(RasterPen(color));
    DrawLineTo(p, pen_, next);
  }
  pen_ = next;
}

}  // namespace mdv
