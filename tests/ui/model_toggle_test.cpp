// The window's "Уточнённая модель": the refined model's own set with its own
// free-vortex ceiling and step, the set named in the status bar, and the
// program's run settings given back when it is switched off; a window run is
// the batch tool's refined run to the bit.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>
#include <cstring>

#include "core/flow/run.h"
#include "core/model/area.h"
#include "ui/main_window.h"
#include "ui/picture.h"

using namespace mdv;

class ModelToggleTest : public QObject {
  Q_OBJECT

 private slots:
  void refinedModelRunsItsOwnSet() {
    Model model;
    Picture picture{model};
    TfrmMain win{model, picture};
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    auto* item = win.findChild<QAction*>(QStringLiteral("miRefinedModel"));
    auto* mark = win.statusBar()->findChild<QLabel*>(QStringLiteral("lbRefinedModel"));
    QVERIFY(item && mark);
    win.edMaxFreeVortex->setText(QStringLiteral("300"));
    win.edDt->setText(QStringLiteral("0,01"));

    item->trigger();
    QVERIFY(model.Flow == FlowModel::Refined);
    QCOMPARE(win.edMaxFreeVortex->text(), QStringLiteral("4000"));
    QCOMPARE(win.edDt->text(), QStringLiteral("0,005"));  // 0,5·min(h, δ)/v0
    QVERIFY(mark->toolTip().contains(QStringLiteral("δ = 0,01 м")));
    QVERIFY(mark->toolTip().contains(QStringLiteral("ν = 0,0003 м²/с")));

    win.edMaxTime->setText(QStringLiteral("0,05"));
    win.btnStart->click();
    Model direct;
    SetSheddingIntervals(direct, 0, 0, 0);
    direct.Flow = FlowModel::Refined;
    RunSimulation(direct, 4000, 0, 0, 0.05L, 0.005L);
    QCOMPARE(model.FreeVortexCount, direct.FreeVortexCount);
    QVERIFY(model.FreeVortexCount > 0);
    const int32_t last = model.AttachedCount + model.FreeVortexCount - 1;
    QVERIFY(std::memcmp(&model.Vortices[last].Pos.X, &direct.Vortices[last].Pos.X, 10) == 0);
    QVERIFY(std::memcmp(&model.Vortices[last].Gamma, &direct.Vortices[last].Gamma, 10) == 0);

    item->trigger();
    QVERIFY(model.Flow == FlowModel::Program);
    QCOMPARE(win.edMaxFreeVortex->text(), QStringLiteral("300"));
    QCOMPARE(win.edDt->text(), QStringLiteral("0,01"));
  }
};

QTEST_MAIN(ModelToggleTest)
#include "model_toggle_test.moc"
