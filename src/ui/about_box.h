#pragma once
// The About box: what the program computes and its version.
#include <QDialog>

class QLabel;
class QPushButton;

namespace mdv {

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent = nullptr);

  // The description as the program states it, with its CR LF line breaks.
  static QString DescriptionText();

  QLabel* lbDescription;
  QLabel* lbVersion;
  QPushButton* btnClose;
};

}  // namespace mdv
