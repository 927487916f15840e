#pragma once
// The flow picture: one off-screen image of the meridian half-plane with the
// hood's contour, the vortices, the axes and the stored stream lines. Every
// window that shows the flow draws through the one shared instance and copies
// Image() to its screen element; the transform of the last DrawPicture call is
// the one every later drawing (free-vortex layer, traced lines) uses.
#include <QColor>
#include <QImage>
#include <QPen>
#include <QPoint>
#include <QPolygon>
#include <cstdint>

#include <vector>

#include "core/averages/tracers.h"
#include "core/model/model.h"
#include "core/base/real.h"

class QPainter;

namespace mdv {

// Nearest integer, halves to even, of an extended value; clamped to a range a
// painter can take so that absurd zooms cannot overflow a pixel coordinate.
int32_t RoundPixel(Real v);

// Raster pens are 1 pixel wide; Picture::DrawLineTo leaves out the end pixel
// of every segment, the way a line-to operation of a bitmap canvas does.
// Styled: dotted 3 on, 3 off; dashed 18 on, 6 off.
QPen RasterPen(const QColor& color, Qt::PenStyle style = Qt::SolidLine);

// Tick spacing of the axes, m: about 50 pixels at `scale` px/m, a multiple of
// 0.1 m and never below it.
double AxisTickStep(Real scale);

// A view of the picture: the pixel of model (0, 0) and the scale, px/m.
struct PictureView {
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  Real Scale = 400;
};

// The view that shows m's area in a w x h picture, the axis near the bottom
// with room for its labels (picture_contour.cpp): every rib of the wall and
// the suction section, and the plane unless taking it in would halve the
// hood's size.
PictureView FitAreaView(const Model& m, int w, int h);

class Picture {
 public:
  explicit Picture(const Model& m);

  // Sizes the image to w x h, takes the view (origin pixel of model (0, 0),
  // scale in px/m) and rebuilds the region polygon; with draw set also paints
  // the whole picture.
  void DrawPicture(int w, int h, int32_t originX, int32_t originY, Real scale, bool drawFree,
                   bool drawFixed, bool drawAxes, bool draw);
  // Erases the flow region and marks the free vortices again (the run's
  // per-step redraw).
  void DrawFreeVortices();
  void DrawAttachedVortices();
  void DrawStreamLines();

  // Markers over the flow (the window's "Маркеры"): drawn by DrawPicture and
  // DrawMarkers, coloured by age as a share of `horizon`, s; nullptr: none.
  // The list is the tracers' own and must outlive its use here.
  void SetMarkers(const std::vector<Marker>* markers, double horizon);
  void DrawMarkers();
  // Markers drawn by the last DrawPicture or DrawMarkers.
  int32_t DrawnMarkers() const { return DrawnMarkers_; }
  // New markers dark blue, paling with age to a light grey-blue at the horizon (share 1).
  static QColor MarkerColor(double ageShare);

  // The world-to-screen rule: column round(x*scale) + originX, row
  // originY - round(y*scale).
  int32_t ScreenX(Real x) const { return RoundPixel(x * PicScale_) + PicOriginX_; }
  int32_t ScreenY(Real y) const { return PicOriginY_ - RoundPixel(y * PicScale_); }
  QPoint WorldToScreen(const TRealPoint& p) const { return {ScreenX(p.X), ScreenY(p.Y)}; }

  // A line traced point by point (stream lines, vortex-zone traces): MoveTo
  // starts it, LineTo draws the next segment in `color`.
  void MoveTo(const TRealPoint& p);
  void LineTo(const TRealPoint& p, const QColor& color = QColor(0, 0, 255));

  // A raster line-to: from `a` up to, not including, the pixel `b`.
  static void DrawLineTo(QPainter& painter, const QPoint& a, const QPoint& b);

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  const Model& model() const { return model_; }

  Real PicScale() const { return PicScale_; }
  int32_t PicOriginX() const { return PicOriginX_; }
  int32_t PicOriginY() const { return PicOriginY_; }
  const QPolygon& RegionPolygon() const { return RegionPolygon_; }
  int32_t VortexMarkSize() const { return VortexMarkSize_; }
  void SetVortexMarkSize(int32_t size) { VortexMarkSize_ = size; }

  static const QColor kAxisColor;  // teal of the axes and ticks

 private:
  void RebuildRegionPolygon();
  void DrawAxes(QPainter& p);
  void DrawParametricRibs(QPainter& p);
  // A contour area (picture_contour.cpp): its region is bounded by the wall
  // itself, and its ribs are drawn single, any number of them.
  void RebuildContourRegion();
  void DrawContourRibs(QPainter& p);

  const Model& model_;
  QImage image_;
  Real PicScale_ = 400;
  int32_t PicOriginX_ = 0;
  int32_t PicOriginY_ = 0;
  QPolygon RegionPolygon_;
  int32_t VortexMarkSize_ = 1;  // 1 pixel, 2 a 3-pixel circle, 3 a 4-pixel circle
  QPoint pen_;                  // current point of MoveTo/LineTo, pixels
  const std::vector<Marker>* Markers_ = nullptr;
  double MarkerHorizon_ = 0;  // s
  int32_t DrawnMarkers_ = 0;
};

}  // namespace mdv
