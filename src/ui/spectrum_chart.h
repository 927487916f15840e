#pragma once
// The spectrum tab of the pulsation window: the power spectral density of the
// selected point's Vx and Vy on logarithmic axes, with the peak frequencies.
#include <QString>
#include <QWidget>

#include "core/model/records.h"
#include "core/analysis/spectrum.h"

class QChartView;
class QLabel;
class QLineSeries;
class QLogValueAxis;
class QScatterSeries;
class QStackedWidget;

namespace mdv {

class SpectrumChart : public QWidget {
  Q_OBJECT
 public:
  explicit SpectrumChart(QWidget* parent = nullptr);

  // Computes and charts the spectra of point k; when they cannot be computed
  // (too few samples…) shows why instead. Returns whether a chart is shown.
  bool ShowPoint(const PulsationRecord& r, int k);
  // Shows the text in place of the chart.
  void ShowNote(const QString& text);

  bool ChartShown() const;
  QString NoteText() const;
  const PulsationSpectra& Spectra() const { return spectra_; }

  bool SavePng(const QString& path, QString& error);
  // f, Гц; S(Vx), (м/с)²/Гц; S(Vy), (м/с)²/Гц — every frequency including 0.
  bool SaveCsv(const QString& path, QString& error);

  QChartView* Chart;
  QLineSeries* SeriesVx;   // red, like the axial fluctuations
  QLineSeries* SeriesVy;   // green
  QScatterSeries* Peaks;   // the two peaks
  QLabel* labPeakVx;       // "Пик спектра Vx: 12,5 Гц"
  QLabel* labPeakVy;
  QLabel* labMethod;       // segment length, count, frequency step

 private:
  QStackedWidget* stack_;
  QLabel* note_;
  QLogValueAxis* axisX_;
  QLogValueAxis* axisY_;
  PulsationSpectra spectra_;
};

}  // namespace mdv
