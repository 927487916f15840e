#include "ui/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace mdv {

QString TfrmAbout::DescriptionText() {
  return QStringLiteral(
      "Расчет отрывного течения \r\nу круглого отсоса-раструба, \r\n"
      "расположенного над плоскостью,\r\nна основе метода дискретных вихрей");
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("О программе"));
  // Fixed single border with the system menu only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(248, 162);

  // Shown with plain line breaks; the lines are set by the text, the label
  // only wraps should a font be wider than the one the box was laid out for.
  QString shown = DescriptionText();
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lbDescription = new QLabel(shown, this);
  lbDescription->setObjectName(QStringLiteral("lbDescription"));
  lbDescription->setWordWrap(true);
  lbDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbDescription->setGeometry(11, 11, 232, 58);

  lbVersion = new QLabel(QStringLiteral("Версия 1.1.0"), this);
  lbVersion->setObjectName(QStringLiteral("lbVersion"));
  lbVersion->move(11, 71);
  lbVersion->adjustSize();

  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(3, 123, 242, 2);

  btnClose = new QPushButton(QStringLiteral("ОК"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setGeometry(134, 132, 107, 25);
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace mdv
