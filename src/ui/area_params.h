#pragma once
// The area configuration dialog: the eleven geometry and flow parameters of
// the hood, the plane and the discretization. Its OK handler validates the
// input and keeps the dialog open on any error; the caller transfers the
// accepted values into the model and rebuilds the area.
#include <QDialog>
#include <QString>

#include "core/model/area_validation.h"
#include "core/base/real.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace mdv {

struct Model;

class TfrmAreaParams : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAreaParams(QWidget* parent = nullptr);

  // Fields := model, in the general format; the angle in degrees, fixed(4, 2).
  void FillFromModel(const Model& m);
  // Model parameters := fields (all valid once the dialog returned OK), the
  // angle from degrees to radians (value / 180 · π). Nothing else changes.
  void StoreToModel(Model& m) const;
  // Fill, show modally; on OK store into the model and discard the simulation
  // state (no free vortices, time 0). Returns whether the model changed; the
  // caller rebuilds the area and refreshes its window.
  bool Execute(Model& m);
  // The same with the fields filled from `shown`: the parametric hood kept
  // aside while the model's area is a contour.
  bool Execute(Model& m, const AreaParameters& shown);

  // The validation of the OK button without its message boxes: an empty text
  // when the fields are acceptable, else the first message in the order of
  // the checks.
  QString ValidationMessage() const;

  QLineEdit* edH;
  QLineEdit* edB;
  QLineEdit* edL;
  QLineEdit* edLL;
  QLineEdit* ed_l;
  QLineEdit* edAlpha;
  QLineEdit* edSpeed;
  QLineEdit* edInSpeed;
  QLineEdit* edIL;
  QLineEdit* edPL;
  QLineEdit* edPx;
  QPushButton* btnOk;      // "OK"
  QPushButton* btnCancel;  // "Отмена"

  static QString ConfirmText();
  static QString ParseErrorText();

 public slots:
  // BitBtn1Click: validation, then the confirmation; the dialog closes with
  // OK only after Yes.
  void accept() override;

 private:
  // All eleven fields as numbers, the angle converted to radians; false when
  // one of them is not a number.
  bool ReadFields(AreaParameters& p) const;
  QLineEdit* AddField(const QString& label, int row);
  QWidget* grid_;
};

}  // namespace mdv
