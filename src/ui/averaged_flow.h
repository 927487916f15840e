#pragma once
// The window "Осреднённое течение": what the runs of this session averaged —
// the mean speed as a colour map with the capture-speed lines, the mean
// centre-line beside the hood equations, the mean vortex-zone dimensions —
// with PNG and CSV export of the shown tab.
#include <QDialog>
#include <QString>

#include "core/averages/averaging.h"

class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QValueAxis;

namespace mdv {

class ContractionChart;
class SpeedMap;

class TfrmAveragedFlow : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAveragedFlow(QWidget* parent = nullptr);

  // Shows the results of a state gathered on the model's present area; results
  // without averages show the note instead.
  void ShowResults(const AveragingResults& r, const Model& m);
  // Shows the averages of a file (as the batch tool's --averages writes it);
  // a bad file is shown and leaves the window as it was. The hood of the
  // model last given is drawn when the file's grid is the one its area gives.
  bool LoadFile(const QString& path);
  void ShowEmpty();
  bool HasData() const { return has_; }
  QString NoteText() const;
  const AveragingResults& Results() const { return results_; }

  // Reads the capture speeds (m/s, ';'-separated, decimal comma); a bad list
  // is shown and the previous one kept. Returns whether it was taken.
  bool ApplyCaptureSpeeds();

  // The shown tab: the map or chart as PNG, its data as CSV.
  bool SavePng(const QString& path, QString& error);
  bool SaveCsv(const QString& path, QString& error);

  static QString EmptyText();
  // In place of a half-width that is not trusted.
  static QString NotEstimatedText();
  // A file is shown (the window does not follow the session's run).
  bool ShowsFile() const { return fromFile_; }

  QLabel* labSummary;
  QLineEdit* edCaptureSpeeds;   // "0,25; 0,5; 1"
  QPushButton* btnApplySpeeds;  // "Построить"
  // "Поле скоростей", "Ось отсоса", "Вихревая зона", "Контрольные величины", "Сжатие струи"
  QTabWidget* tabs;
  SpeedMap* Map;
  QChartView* CentreChart;
  QScatterSeries* SeriesModel;  // the mean centre-line, v/v0 at the stations
  QLineSeries* SeriesModelLine;
  QLineSeries* SeriesDiscSink;
  QLineSeries* SeriesFlanged;
  QLineSeries* SeriesPlain;
  QLineSeries* SeriesPlane;     // the plane, a vertical line at its x/D
  QTableWidget* sgZone;         // dimension, mean, s.d.
  QLabel* labZone;
  QTableWidget* sgMonitors;     // the monitored signals: mean ± 95 % half-width
  ContractionChart* Contraction;  // C_c along the channel, the vena contracta, reattachment
  QPushButton* btnLoad;  // "Загрузить средние..."
  QPushButton* btnSavePicture;
  QPushButton* btnSaveCsv;

 public slots:
  void btnLoadClick();
  void btnSavePictureClick();
  void btnSaveCsvClick();

 private:
  void Show(const AveragingResults& r, const Model* contour, const QString& source);
  void FillCentreline(const AveragingResults& r, const Model* contour);
  void FillZone(const VortexZoneSummary& z);
  void FillMonitors(const std::vector<MonitorSummary>& monitors);

  AveragingResults results_;
  bool has_ = false;
  bool fromFile_ = false;
  const Model* model_ = nullptr;  // the area of the session's averages
  QStackedWidget* stack_;
  QLabel* note_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
};

}  // namespace mdv
