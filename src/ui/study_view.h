#pragma once
// The window of a parameter study: the table of its cases (swept parameters,
// status, results) and a chart of any result against any swept parameter,
// a line per combination of the other swept parameters.
#include <QDialog>
#include <QString>

#include "core/study/study_table.h"

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QValueAxis;

namespace mdv {

class StudyView : public QDialog {
  Q_OBJECT
 public:
  explicit StudyView(QWidget* parent = nullptr);

  // Reads the study folder; on failure shows the message and returns false.
  bool Open(const QString& dir);
  const StudyTable& Table() const { return table_; }

  QLabel* lbStudy;          // name, folder and counts
  QTableWidget* sgCases;    // one row per case
  QComboBox* cbResult;      // "Результат:"
  QComboBox* cbParameter;   // "Параметр:"
  QChartView* Chart1;
  QPushButton* btnRefresh;  // "Обновить"

 public slots:
  void Refresh();
  void DrawChart();

 private:
  void FillTable();

  QString dir_;
  StudyTable table_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
};

// "Открыть исследование…": asks for a study folder and shows its window.
void OpenStudyWindow(QWidget* parent);

}  // namespace mdv
