#pragma once
// The pulsation recording dialog: the switch, the measuring points and the
// record's file name. Its controls keep the last accepted (or restored) state
// between openings; the model receives them before every run.
#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace mdv {

struct Model;
class FileNameEdit;

class TfrmPulsateParam : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmPulsateParam(Model& model, QWidget* parent = nullptr);

  // The menu command's cycle: modal; Cancel (or closing the window) restores
  // the controls from the model, anything else applies them to the model.
  // During a run the model's recording settings are in use: then OK keeps the
  // controls for the next Start or Continue and leaves the model alone.
  void Execute(bool applyOnOk = true);
  // Controls := model (switch, count, the model's points, file name).
  void RestoreFromModel();
  // Model := controls. With the switch off only PulsationOn changes. Returns
  // false (model untouched) when a grid cell is not a number.
  bool ApplyPulsateParams();

  // Grid cell in the dialog's own numbering: column 1 = x, 2 = y; rows
  // 1 … count hold the points, row 0 is the header.
  QString CellText(int col, int row) const;
  void SetCellText(int col, int row, const QString& text);
  // Rows of the grid including the header row.
  int GridRowCount() const;
  QString HeaderText(int col) const;

  // The program's message for a point cell that is not a number.
  static QString BadPointsMessage();

  QCheckBox* cbUsePulsation;
  QGroupBox* gbPoints;
  QSpinBox* sePointsCnt;
  QTableWidget* sgPoints;
  QPushButton* btnGeneratePoints;
  FileNameEdit* edFilename;
  QPushButton* btnOk;
  QPushButton* btnCancel;

 public slots:
  void accept() override;  // validation of the points before closing with OK
  void cbUsePulsationClick();
  void sePointsCntChange();
  void btnGeneratePointsClick();

 private:
  Model& model_;
};

}  // namespace mdv
