#pragma once
// The recording dialog of the separated vortex's circulation: the switch and
// the record's file name. Its menu command is hidden, so in practice the
// switch stays off and every run records nothing.
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace mdv {

struct Model;
class FileNameEdit;

class TfrmBreakPntParams : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmBreakPntParams(Model& model, QWidget* parent = nullptr);

  // The menu command's cycle: Cancel restores from the model, OK applies.
  // During a run the model's recording settings are in use: then OK keeps the
  // controls for the next Start or Continue and leaves the model alone.
  void Execute(bool applyOnOk = true);
  void RestoreFromModel();
  // TrackOn := the switch; with it on, TrackFileName := the field.
  void ApplyBreakPntParams();

  QCheckBox* cbRememberFreeVort;
  FileNameEdit* edFilename;
  QPushButton* btnOk;
  QPushButton* btnCancel;

 public slots:
  void cbRememberFreeVortClick();

 private:
  Model& model_;
};

}  // namespace mdv
