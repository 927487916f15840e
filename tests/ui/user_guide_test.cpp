// The user's guide: every link inside it leads somewhere (an anchor of the
// page or a file beside it), every image is there, and F1 in the main window
// opens it in its own window.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QtTest>

#include "core/model/model.h"
#include "ui/main_window.h"
#include "ui/picture.h"
#include "ui/user_guide.h"

using namespace mdv;

class UserGuideTest : public QObject {
  Q_OBJECT
 private slots:
  void linksAndImagesExist();
  void f1OpensTheGuide();
};

void UserGuideTest::linksAndImagesExist() {
  const QDir dir(qEnvironmentVariable("MDV_SOURCE_DIR") + QStringLiteral("/docs/guide"));
  QFile f(dir.filePath(QStringLiteral("index.html")));
  QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
  const QString html = QString::fromUtf8(f.readAll());
  QSet<QString> anchors;
  for (const auto& m : QRegularExpression(QStringLiteral(R"re((?:id|name)="([^"]+)")re")).globalMatch(html))
    anchors.insert(m.captured(1));
  int links = 0, images = 0;
  for (const auto& m : QRegularExpression(QStringLiteral(R"re((href|src)="([^"]+)")re")).globalMatch(html)) {
    const QString target = m.captured(2);
    if (target.startsWith(QStringLiteral("http"))) continue;
    if (target.startsWith(QLatin1Char('#'))) {
      QVERIFY2(anchors.contains(target.mid(1)), qPrintable(QStringLiteral("no anchor ") + target));
      ++links;
      continue;
    }
    QVERIFY2(QFileInfo::exists(dir.filePath(target)), qPrintable(QStringLiteral("missing ") + target));
    if (m.captured(1) == QStringLiteral("src")) {
      ++images;
      QVERIFY2(!QImage(dir.filePath(target)).isNull(), qPrintable(QStringLiteral("not an image: ") + target));
    }
  }
  QVERIFY(links >= 7);
  QVERIFY(images >= 4);
  // Every result the windows name has its entry.
  for (const char* name : {"Bэф", "<td>b</td>", "<td>l</td>", "a0", "dmax", "lmax", "rinfet-mdv-batch"})
    QVERIFY2(html.contains(QString::fromUtf8(name)), name);
}

void UserGuideTest::f1OpensTheGuide() {
  Model model;
  Picture picture(model);
  TfrmMain win(model, picture);
  win.show();
  QVERIFY(QTest::qWaitForWindowExposed(&win));
  auto* guide = win.findChild<UserGuide*>();
  QVERIFY(guide);
  QCOMPARE(guide->miGuide->text(), QStringLiteral("Руководство пользователя"));
  QCOMPARE(guide->miGuide->shortcut(), QKeySequence(Qt::Key_F1));
  QVERIFY(!guide->Window());
  QTest::keyClick(&win, Qt::Key_F1);
  TfrmGuide* w = guide->Window();
  QVERIFY(w && w->isVisible());
  QVERIFY2(w->Browser->source().toLocalFile().endsWith(QStringLiteral("guide/index.html")),
           qPrintable(w->Browser->source().toString()));
  QVERIFY(w->Browser->toPlainText().contains(QStringLiteral("Пример: от отсоса по умолчанию")));
  // An internal link moves within the page.
  w->Browser->setSource(QUrl(QStringLiteral("#models")));
  QVERIFY(w->Browser->toPlainText().contains(QStringLiteral("Две модели")));
}

QTEST_MAIN(UserGuideTest)
#include "user_guide_test.moc"
