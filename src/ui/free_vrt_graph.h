#pragma once
// The graph window of the separated vortex: loads a circulation record (.fvt)
// and charts |Γ / (2π·h)| of the newest free vortex against time.
#include <QDialog>
#include <QString>

#include "core/model/records.h"

class QChart;
class QChartView;
class QCheckBox;
class QGraphicsSimpleTextItem;
class QGraphicsTextItem;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace mdv {

class TfrmFreeVrtGraph : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmFreeVrtGraph(QWidget* parent = nullptr);

  // Reads the record; on any fault shows a message and keeps the graph it
  // showed before. Returns whether the record was taken.
  bool LoadFile(const QString& path);
  const TrackRecord& Record() const { return record_; }

  bool SaveChartPng(const QString& path, QString& error);
  bool SaveSeriesCsv(const QString& path, QString& error);

  // The value axis caption drawn at the chart's top left (HTML).
  QString ValueCaptionHtml() const;

  QPushButton* btnLoad;  // "Загрузить"
  QPushButton* btnSavePicture;
  QPushButton* btnSaveCsv;
  QCheckBox* cbShowPoints;  // "Показать точки"
  QLabel* labFile;          // "Имя файла:"
  QChartView* Chart1;
  QLineSeries* Series1;  // navy

 public slots:
  void btnLoadClick();
  void cbShowPointsClick();
  void btnSavePictureClick();
  void btnSaveCsvClick();

 private:
  void PlaceCaptions();

  TrackRecord record_;
  QString fileName_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  QGraphicsSimpleTextItem* timeCaption_;
  QGraphicsTextItem* valueCaption_;
};

}  // namespace mdv
