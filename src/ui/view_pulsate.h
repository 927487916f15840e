#pragma once
// The pulsation charts window: loads a pulsation record (.pls), lists its
// points and charts, for the selected point, the fluctuations of both velocity
// components about their means, with the means and root-mean-square values.
#include <QDialog>
#include <QString>

#include "core/analysis/pulsation_stats.h"
#include "core/model/records.h"

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QCategoryAxis;
class QTabWidget;
class QValueAxis;

namespace mdv {

class SpectrumChart;

class TfrmViewPulsate : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmViewPulsate(QWidget* parent = nullptr);

  // Reads the record; on any fault shows a message and keeps what the window
  // showed before. Returns whether the record was taken.
  bool LoadFile(const QString& path);
  const PulsationRecord& Record() const { return record_; }
  bool HasRecord() const { return loaded_; }
  // Whether the chart (rather than the note that it cannot be drawn) is shown.
  bool ChartShown() const;
  QString NoteText() const;

  // The chart of the current tab and its series as they are shown, for a report.
  bool SaveChartPng(const QString& path, QString& error);
  bool SaveSeriesCsv(const QString& path, QString& error);

  QPushButton* btnLoad;  // "Загрузить"
  QPushButton* btnSavePicture;
  QPushButton* btnSaveCsv;
  QListWidget* lbPoints;
  QLabel* labFile;
  QLabel* labVx;
  QLabel* labVy;
  QLabel* labVx2;
  QLabel* labVy2;
  QChartView* Chart1;
  QLineSeries* Series1;  // "Продольные пульсации", red
  QLineSeries* Series2;  // "Поперечные пульсации", green
  QTabWidget* tabs;       // "Пульсации" (the chart above), "Спектр"
  SpectrumChart* Spectrum;

 public slots:
  void btnLoadClick();
  void lbPointsClick();
  void btnSavePictureClick();
  void btnSaveCsvClick();

 private:
  void ShowNote(const QString& text);
  void ClearStats();
  void UpdateSaveButtons();
  QString SuggestedName() const;

  PulsationRecord record_;
  bool loaded_ = false;
  QString fileName_;
  QStackedWidget* chartStack_;
  QLabel* note_;
  QCategoryAxis* axisX_;  // labelled "#,##0.#####" at its ticks
  QCategoryAxis* axisY_;
};

}  // namespace mdv
