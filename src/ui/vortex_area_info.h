#pragma once
// The vortex-zone window: a picture of the area at its own scale, the two
// traced stream lines with the dimension marks of the separated zones, and the
// seven measured dimensions. The picture is the shared one of the main window;
// whoever opens this window redraws the main picture after it closes.
#include <QDialog>
#include <QString>

#include "core/analysis/vortex_area.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace mdv {

class Picture;

class TfrmVortexAreaInfo : public QDialog {
  Q_OBJECT
 public:
  TfrmVortexAreaInfo(Model& model, Picture& picture, QWidget* parent = nullptr);

  // The settings proposed for the current geometry (FormShow).
  void FillSettings();
  // Whether a computation is executing (its handler is on the call stack).
  bool IsCalculating() const { return calculating_; }
  const TVortexAreaParams& LastResult() const { return result_; }
  const VortexAreaOutcome& LastOutcome() const { return outcome_; }

  static QString NoVortexStructureText();  // "Не задана вихревая структура"
  static QString BadSettingsText();        // "Ошибка при задании настроек"

  QLabel* Image1;  // the picture, 873 × 265 pixels
  QPushButton* btnRedraw;
  QCheckBox* cbFreeVrt;
  QCheckBox* cbAxes;
  QPushButton* btnCalculate;  // "Рассчитать параметры"
  QPushButton* btnStopCalc;   // "Остановить"
  QLabel* StaticText1;        // progress of the computation
  QTableWidget* vlResults;    // "Параметр" / "Значение"
  QLineEdit* edFirstX;
  QLineEdit* edFirstY;
  QLineEdit* edSecondX;
  QLineEdit* edSecondY;
  QLineEdit* edDt;

 public slots:
  void btnRedrawClick();
  void btnCalculateClick();
  void btnStopCalcClick();
  // Closing the window while a computation runs stops it first.
  void done(int r) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ShowPicture();
  void DrawMarks();
  void SetResults(const std::vector<VortexAreaRow>& rows);

  Model& model_;
  Picture& picture_;
  TVortexAreaParams result_;
  VortexAreaOutcome outcome_;
  bool calculating_ = false;
  bool drawn_ = false;
};

}  // namespace mdv
