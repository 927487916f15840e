#pragma once
// The shedding-interval dialog of the two separation points. It is created
// with the other windows but nothing opens it and its values reach nothing.
#include <QDialog>

class QPushButton;
class QSpinBox;
class QTabWidget;

namespace mdv {

class TfrmBreakPntIntervals : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmBreakPntIntervals(QWidget* parent = nullptr);

  QTabWidget* pcIntervals;
  QSpinBox* edUpperInterval;  // time steps between two sheddings at the upper point
  QSpinBox* edLowerInterval;  // the same at the lower point
  QPushButton* btnOk;
  QPushButton* btnCancel;

 protected:
  // edUpperIntervalKeyPress: typed characters are discarded in both spin
  // edits, so their values change only through the spin buttons.
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace mdv
