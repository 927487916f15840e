#include "ui/user_guide.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace mdv {

namespace {

constexpr const char* kFirstPage = "index.html";

}  // namespace

QString UserGuidePath() {
  const QString installed = QDir(QCoreApplication::applicationDirPath())
                                .absoluteFilePath(QStringLiteral("../share/rinfet-mdv/guide/") + kFirstPage);
  if (QFileInfo::exists(installed)) return QFileInfo(installed).canonicalFilePath();
#ifdef MDV_GUIDE_SOURCE_DIR
  const QString source = QStringLiteral(MDV_GUIDE_SOURCE_DIR "/") + kFirstPage;
  if (QFileInfo::exists(source)) return QFileInfo(source).canonicalFilePath();
#endif
  return {};
}

TfrmGuide::TfrmGuide(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmGuide"));
  setWindowTitle(QStringLiteral("Руководство пользователя"));
  Browser = new QTextBrowser(this);
  Browser->setObjectName(QStringLiteral("tbGuide"));
  // Links inside the guide open in it; a web address in the system's browser.
  Browser->setOpenExternalLinks(true);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  v->addWidget(Browser);
  const QRect screen = this->screen()->availableGeometry();
  resize(std::min(900, screen.width() - 40), std::min(760, screen.height() - 40));
}

void TfrmGuide::OpenGuide() {
  const QString path = UserGuidePath();
  if (path.isEmpty()) {
    Browser->setHtml(QStringLiteral(
        "<p>Руководство не найдено: его нет ни рядом с программой (share/rinfet-mdv/guide), "
        "ни в папке исходных текстов (docs/guide).</p>"));
    return;
  }
  Browser->setSource(QUrl::fromLocalFile(path));
}

UserGuide::UserGuide(QMainWindow& w) : QObject(&w), w_(w) {
  miGuide = new QAction(QStringLiteral("Руководство пользователя"), &w);
  miGuide->setObjectName(QStringLiteral("miGuide"));
  miGuide->setShortcut(QKeySequence::HelpContents);
  miGuide->setShortcutContext(Qt::ApplicationShortcut);
  if (QMenu* help = w.menuBar()->findChild<QMenu*>(QStringLiteral("mnHelp"))) {
    const QList<QAction*> items = help->actions();
    help->insertAction(items.isEmpty() ? nullptr : items.front(), miGuide);
  }
  connect(miGuide, &QAction::triggered, this, &UserGuide::miGuideClick);
}

void UserGuide::miGuideClick() {
  if (!window_) {
    window_ = new TfrmGuide(&w_);
    window_->OpenGuide();
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

}  // namespace mdv
