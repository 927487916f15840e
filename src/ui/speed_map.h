#pragma once
// The mean air speed as a colour map over the flow region: viridis colours
// with a colour bar in м/с, labelled lines of the capture speeds, and the
// hood's contour and the plane drawn over it.
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "core/averages/averaging.h"
#include "core/model/geometry.h"

namespace mdv {

// Viridis (perceptually uniform, readable in grey and by colour-blind
// readers): t in [0, 1], clamped.
QColor Viridis(double t);

// What the map shows: the mean field and the contour it was gathered on.
struct SpeedMapData {
  AveragingGrid Grid;
  std::vector<double> Speed;   // mean |V| per grid point, m/s
  TRibArray Contour;           // the hood's ribs and the plane, m
  int32_t SuctionRib = -1;     // drawn dotted
  // The tracers' caught fraction on their source grid (NaN where none):
  // its 0,9 and 0,5 lines are the capture zone's edges.
  TracerGrid CaptureGrid;
  std::vector<double> CaptureFraction;
  // Some counted marker's fate is still open: the lines are labelled "предв.".
  bool CaptureProvisional = false;
};

// The caught fractions whose lines bound the capture zone.
inline constexpr double CaptureZoneLevels[] = {0.9, 0.5};

// The top of the colour scale, m/s: the 99th percentile of the flow points'
// speeds rounded up to a nice number, so that the few points at the sharp
// edges (where the mean speed peaks) do not wash out the rest. 1 when there
// are no flow points or every speed is 0.
double SpeedScaleTop(const std::vector<double>& speed, const std::vector<uint8_t>& inside);

// The speeds with every point that is not a flow point (in or next to a
// wall) given the mean of its nearest flow neighbours, pass by pass outwards:
// the map is coloured and the capture-speed lines drawn up to the walls,
// whose outline is then drawn over it. Flow points keep their values.
std::vector<double> FillWallPoints(const AveragingGrid& g, const std::vector<double>& speed);

class SpeedMap : public QWidget {
  Q_OBJECT
 public:
  explicit SpeedMap(QWidget* parent = nullptr);

  void SetData(SpeedMapData data);
  void Clear();
  bool HasData() const { return has_; }
  const SpeedMapData& Data() const { return data_; }
  // Capture speeds, m/s, whose lines are drawn and labelled.
  void SetCaptureSpeeds(std::vector<double> speeds);
  const std::vector<double>& CaptureSpeeds() const { return capture_; }

  double ScaleTop() const { return top_; }
  // The labels placed on the lines in the last rendering ("0,5 м/с" …), and
  // how many polylines each capture speed gave.
  const QStringList& LineLabels() const { return labels_; }
  const std::vector<int>& LineCounts() const { return lineCounts_; }
  // How many polylines each capture-zone level gave in the last rendering.
  const std::vector<int>& ZoneLineCounts() const { return zoneCounts_; }

  // The whole picture at a size (for the screen and for PNG export).
  QImage Render(QSize size);
  // Where a point (m) lies in a rendering of that size, px.
  QPointF WorldToPixel(double x, double y, QSize size) const;

  QSize sizeHint() const override { return {760, 420}; }
  QSize minimumSizeHint() const override { return {320, 200}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The map's extents (m) and its transform at a size: one scale for x and y.
  struct View {
    double X0, X1, Y0, Y1;  // m
    double S;               // px/m
    double Ox, Oy;          // pixel of (X0, Y1)
  };
  View MakeView(QSize size) const;

  SpeedMapData data_;
  bool has_ = false;
  std::vector<double> capture_ = {0.25, 0.5, 1.0};
  double top_ = 1;
  QStringList labels_;
  std::vector<int> lineCounts_;
  std::vector<int> zoneCounts_;
};

}  // namespace mdv
