#include "ui/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

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

  // The four lines are set by the text. The label takes the size of that text
  // in the font in use, and the box grows below and beside it when that font
  // is larger than the one it was laid out for (248 x 162).
  QString shown = DescriptionText();
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  lbDescription = new QLabel(shown, this);
  lbDescription->setObjectName(QStringLiteral("lbDescription"));
  lbDescription->setWordWrap(false);
  lbDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lbDescription->move(11, 11);
  lbDescription->adjustSize();

  constexpr int kMargin = 11;
  constexpr int kVersionTop = 71;     // the design's place of the version
  constexpr int kVersionBottom = 84;  // and its lower edge in the design's font
  const int textBottom = lbDescription->geometry().bottom() + 1;
  lbVersion = new QLabel(QStringLiteral("Версия 1.1.0"), this);
  lbVersion->setObjectName(QStringLiteral("lbVersion"));
  lbVersion->move(kMargin, std::max(kVersionTop, textBottom + 6));
  lbVersion->adjustSize();

  // The line and the button keep their distance below the version.
  const int below = std::max(0, lbVersion->geometry().bottom() + 1 - kVersionBottom);
  const int width = std::max(248, lbDescription->width() + 2 * kMargin);

  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(3, 123 + below, width - 6, 2);

  btnClose = new QPushButton(QStringLiteral("ОК"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setGeometry(width - 114, 132 + below, 107, 25);
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  setFixedSize(width, 162 + below);
}

}  // namespace mdv
