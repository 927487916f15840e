#pragma once
// The spectrum tab of the pulsation window: the power spectral density of the
// selected point's Vx and Vy on logarithmic axes, with the peak frequencies.
// The start-up is left out: from the time in "с t =" when one is given, else
// from the end of the start-up found in the record.
#include <QString>
#include <QWidget>

#include "core/model/records.h"
#include "core/analysis/spectrum.h"

class QCategoryAxis;
class QChartView;
class QLabel;
class QLineEdit;
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
  // The record must outlive the chart's use of it (edFrom recomputes).
  bool ShowPoint(const PulsationRecord& r, int k);
  // edFrom changed: the spectra of the shown point again.
  void edFromChange();
  // Shows the text in place of the chart.
  void ShowNote(const QString& text);

  bool ChartShown() const;
  QString NoteText() const;
  const PulsationSpectra& Spectra() const { return spectra_; }

  bool SavePng(const QString& path, QString& error);
  // The batch tool's table (SpectrumCsv): f;Svx;Svy, every frequency including 0.
  bool SaveCsv(const QString& path, QString& error);

  QChartView* Chart;
  QLineSeries* SeriesVx;   // red, like the axial fluctuations
  QLineSeries* SeriesVy;   // green
  QScatterSeries* Peaks;   // the two peaks
  QLabel* labPeakVx;       // "Пик спектра Vx: 12,5 Гц"
  QLabel* labPeakVy;
  QLabel* labMethod;       // segment length, count, frequency step
  QLineEdit* edFrom;       // "с t =", s; empty: from the end of the start-up
  QLabel* labFrom;         // where the spectra begin and why

 private:
  QStackedWidget* stack_;
  QLabel* note_;
  QLogValueAxis* axisX_;
  QCategoryAxis* axisY_;  // log10 of the density, labelled 10ⁿ
  PulsationSpectra spectra_;
  const PulsationRecord* record_ = nullptr;
  int point_ = 0;
};

}  // namespace mdv
