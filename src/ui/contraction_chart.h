#pragma once
// The tab "Сжатие струи" of the averaged-flow window: the contraction
// coefficient of each channel section and the mean axial velocity next to
// the wall along the channel, from the mouth, with the vena contracta and
// the reattachment in words.
#include <QWidget>

#include "core/analysis/contraction.h"

class QChartView;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace mdv {

class ContractionChart : public QWidget {
  Q_OBJECT
 public:
  explicit ContractionChart(QWidget* parent = nullptr);

  // The tool tip's first line: why ζ by Borda–Carnot is only an estimate.
  static QString BordaCarnotNote();
  // Charts the sections; without them says why.
  void ShowContraction(const ContractionSummary& c);

  QChartView* Chart;
  QLineSeries* SeriesCc;        // C_c(x/D)
  QLineSeries* SeriesWall;      // vx next to the wall over the section's mean speed
  QScatterSeries* SeriesVena;   // the vena contracta
  QLabel* labText;              // ContractionText

 private:
  QValueAxis* axisX_;
  QValueAxis* axisY_;
};

}  // namespace mdv
