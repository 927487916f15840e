// The window's "Быстрый счёт (двойная точность)" item: it switches the
// model's arithmetic, shows its mark in the status bar, and is locked while a
// run is in progress; the window's run then is the double path's run.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <cstring>

#include "core/model/area.h"
#include "core/flow/run.h"
#include "ui/main_window.h"
#include "ui/picture.h"

using namespace mdv;

class PrecisionToggleTest : public QObject {
  Q_OBJECT

 private slots:
  void switchesArithmeticAndLocksDuringRuns() {
    Model model;
    Picture picture{model};
    TfrmMain win{model, picture};
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    auto* item = win.findChild<QAction*>(QStringLiteral("miDoublePrecision"));
    auto* mark = win.statusBar()->findChild<QLabel*>(QStringLiteral("lbPrecision"));
    QVERIFY(item && mark);
    QCOMPARE(item->text(), QStringLiteral("Быстрый счёт (двойная точность)"));
    QVERIFY(item->isCheckable() && !item->isChecked());
    QVERIFY(!mark->isVisible());
    QVERIFY(model.Exec.Arithmetic == Precision::Extended);

    item->trigger();
    QVERIFY(item->isChecked());
    QVERIFY(model.Exec.Arithmetic == Precision::Double);
    QVERIFY(mark->isVisible());
    QCOMPARE(mark->text(), QStringLiteral("Быстрый счёт (двойная точность)"));

    bool lockedInRun = false;
    QTimer::singleShot(0, &win, [&] { lockedInRun = !item->isEnabled(); });
    win.edMaxTime->setText(QStringLiteral("0,05"));
    win.btnStart->click();
    QVERIFY(lockedInRun);
    QVERIFY(item->isEnabled());

    // The same run on the double path without the window: the same bits.
    Model direct;
    SetSheddingIntervals(direct, 0, 0, 0);
    direct.Exec.Arithmetic = Precision::Double;
    RunSimulation(direct, 400, 0, 0, 0.05L, 0.005L);
    QCOMPARE(model.FreeVortexCount, direct.FreeVortexCount);
    QVERIFY(model.FreeVortexCount > 0);
    const int32_t last = model.AttachedCount + model.FreeVortexCount - 1;
    QVERIFY(std::memcmp(&model.Vortices[last].Pos.X, &direct.Vortices[last].Pos.X, 10) == 0);
    QVERIFY(std::memcmp(&model.Vortices[0].Gamma, &direct.Vortices[0].Gamma, 10) == 0);

    item->trigger();
    QVERIFY(model.Exec.Arithmetic == Precision::Extended);
    QVERIFY(!mark->isVisible());
  }
};

QTEST_MAIN(PrecisionToggleTest)
#include "precision_toggle_test.moc"
