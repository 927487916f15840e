#pragma once
// The window of a parameter study: the table of its cases (swept parameters,
// status, results), the convergence table of a study that refines, and a
// chart of any result against any parameter, a line per combination of the
// other parameters, a mean with its spread as error bars. Names and units
// are the program's own; numbers have 4 significant digits.
#include <QDialog>
#include <QString>

#include <vector>

#include "core/study/study_table.h"

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTabWidget;
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
  QTabWidget* tabs;         // "Варианты", "Сходимость" (when the study refines)
  QTableWidget* sgCases;    // one row per case
  QTableWidget* sgConvergence;  // one row per refined key, sweep point and result
  QComboBox* cbResult;      // "Результат:"
  QComboBox* cbParameter;   // "Параметр:"
  QChartView* Chart1;
  QPushButton* btnRefresh;  // "Обновить"
  QPushButton* btnSavePicture;  // "Сохранить рисунок..."
  QPushButton* btnSaveCsv;      // "Сохранить таблицу (CSV)...": the table of the open tab

 public slots:
  void Refresh();
  void DrawChart();
  void btnSavePictureClick();
  void btnSaveCsvClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void FillTable();
  // A mean and its spread on one line ("0,8312 ± 0,0123") while the
  // columns fit the table's width, else on two.
  void FitCases();
  void FillConvergence();
  // Under "Сходимость": each sweep point's answers of `result` against the
  // refined key (`param` when it is one, else the first), the fitted curve
  // and φ_ext at step 0 where the index holds (study_convergence_chart.cpp).
  void DrawConvergenceChart(size_t result, size_t param);
  // The entry of cbResult the study was made for: ζ by the momentum balance
  // when measured, else the first caught fraction, else the first result.
  int OwnResult() const;
  // The result's title beside the y axis when the plot is tall enough for it,
  // else above the plot across the chart's width (a short chart at a large
  // scale factor would cut it to "Потер...").
  void FitYTitle();

  QString dir_;
  QString yTitle_;  // the chart's result title; empty without a chart
  StudyTable table_;
  std::vector<size_t> plotted_;  // the result of each entry of cbResult
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  // The headers of the parameters and results, made again in narrower lines
  // when the columns do not fit.
  struct HeaderSource {
    int Column;
    const StudyColumn* Source;
    bool Result;
    QString Suffix;  // "\n± с.к.о." or "\n± 95 %" after a mean's name
  };
  std::vector<HeaderSource> headers_;
  bool fitting_ = false;  // FitCases is running (its own resizes of the table)
};

// "Открыть исследование…": asks for a study folder and shows its window.
void OpenStudyWindow(QWidget* parent);

}  // namespace mdv
