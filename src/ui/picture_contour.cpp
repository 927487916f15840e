// The picture of a hood given by its contour: any number of wall ribs (an
// arc is drawn as the chords the area is built of), then the suction section
// (dotted) and the plane. The ribs are drawn single: the contour's wall has
// its own thickness, drawn as its two faces.
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/picture.h"

namespace mdv {

namespace {

// Room around the area in a fitted view, pixels: left for the y axis's
// labels (drawn 24 pixels left of it), right, top, and below the axis for
// the x axis's labels.
constexpr int kLeftMargin = 30;
constexpr int kRightMargin = 20;
constexpr int kTopMargin = 20;
constexpr int kBottomMargin = 40;
// An extent below this (m) is taken as this, so that a degenerate area
// cannot give an infinite scale.
constexpr Real kLeastExtent = 1.0e-3L;

}  // namespace

PictureView FitAreaView(const Model& m, int w, int h) {
  const int32_t count = std::min<int32_t>(m.BodyRibCount, static_cast<int32_t>(m.BodyRibs.size()));
  // The hood: the wall's ribs and the suction section (all before the plane).
  const int32_t hood = std::min<int32_t>(count, m.SuctionRib + 1);
  Real xMin = std::numeric_limits<Real>::infinity();
  Real xMax = -xMin;
  Real yMax = 0;  // the axis is always in view
  auto take = [&](int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) {
      for (const TRealPoint& p : {m.BodyRibs[i].P1, m.BodyRibs[i].P2}) {
        xMin = std::min(xMin, p.X);
        xMax = std::max(xMax, p.X);
        yMax = std::max(yMax, p.Y);
      }
    }
  };
  take(0, hood);
  // The plane too, unless it stands so far off that the hood would shrink
  // to less than half its size (a plane metres away, a hood of decimetres):
  // then it lies left of the view, to be reached by panning or zooming out.
  const Real hoodWidth = xMax - xMin;
  const Real hoodHeight = yMax;
  const Real hoodXMin = xMin, hoodXMax = xMax, hoodYMax = yMax;
  take(hood, count);
  if (xMax - xMin > 2 * hoodWidth || yMax > 2 * hoodHeight) {
    xMin = hoodXMin;
    xMax = hoodXMax;
    yMax = hoodYMax;
  }
  PictureView v;
  if (!(xMin <= xMax) || !std::isfinite(xMax - xMin) || !std::isfinite(yMax)) {
    v.OriginX = w / 2;
    v.OriginY = h - kBottomMargin;
    return v;
  }
  const Real width = std::max<Real>(w - kLeftMargin - kRightMargin, 1);
  const Real height = std::max<Real>(h - kTopMargin - kBottomMargin, 1);
  v.Scale = std::min(width / std::max(xMax - xMin, kLeastExtent), height / std::max(yMax, kLeastExtent));
  // Centred across between the margins, the axis at the bottom margin
  // (nothing lies below it).
  const Real middle = static_cast<Real>(kLeftMargin + w - kRightMargin) / 2;
  v.OriginX = RoundPixel(middle - (xMin + xMax) / 2 * v.Scale);
  v.OriginY = h - kBottomMargin;
  return v;
}

void Picture::RebuildContourRegion() {
  // The flow between the plane and the suction section, below the picture's
  // top row: along the top to above the wall's start, down to it, along the
  // wall (the fluid on its right, so the solid stays outside), down the
  // suction section to the axis and back to the plane. A wall reaching
  // above the top row crosses the top edge; the even-odd fill still leaves
  // the solid between its faces out.
  RegionPolygon_.clear();
  const TRibArray& r = model_.BodyRibs;
  const int32_t s = model_.SuctionRib;
  if (s < 1 || s >= static_cast<int32_t>(r.size())) return;
  const int32_t px = ScreenX(model_.PlaneX) + 1;  // the plane's own column stays
  RegionPolygon_ << QPoint(px, 1) << QPoint(ScreenX(r[0].P1.X), 1);
  for (int32_t i = 0; i < s; ++i) RegionPolygon_ << WorldToScreen(r[i].P1);
  RegionPolygon_ << WorldToScreen(r[s - 1].P2) << WorldToScreen(r[s].P1) << WorldToScreen(r[s].P2)
                 << QPoint(px, PicOriginY_);
}

void Picture::DrawContourRibs(QPainter& p) {
  const TRibArray& ribs = model_.BodyRibs;
  const int32_t count = std::min<int32_t>(model_.BodyRibCount, static_cast<int32_t>(ribs.size()));
  const QColor black(0, 0, 0);
  for (int32_t i = 0; i < count; ++i) {
    p.setPen(RasterPen(black, i == model_.SuctionRib ? Qt::DotLine : Qt::SolidLine));
    DrawLineTo(p, WorldToScreen(ribs[i].P1), WorldToScreen(ribs[i].P2));
  }
}

}  // namespace mdv
