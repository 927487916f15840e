// The main window's commands that open the dialogs and result windows, with
// every window attached as the program's start-up attaches them.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "core/model/area.h"
#include "core/model/model.h"
#include "core/model/vortex_file.h"
#include "modal_driver.h"
#include "ui/area_params.h"
#include "ui/break_pnt_params.h"
#include "ui/file_name_edit.h"
#include "ui/free_vrt_graph.h"
#include "ui/main_window.h"
#include "ui/picture.h"
#include "ui/pulsate_param.h"
#include "ui/view_pulsate.h"
#include "ui/vortex_area_info.h"

using namespace mdv;
using mdv::test::AnswerNextBox;
using mdv::test::WhenDialogShown;

namespace {

// The program's windows in their start-up order.
struct Program {
  Model model;
  Picture picture{model};
  TfrmMain main{model, picture};
  TfrmPulsateParam pulsate{model, &main};
  TfrmViewPulsate viewPulsate{&main};
  TfrmAreaParams area{&main};
  TfrmFreeVrtGraph freeVrt{&main};
  TfrmBreakPntParams breakPnt{model, &main};
  TfrmVortexAreaInfo vortexArea{model, picture, &main};

  Program() {
    main.frmPulsateParam = &pulsate;
    main.frmViewPulsate = &viewPulsate;
    main.frmAreaParams = &area;
    main.frmFreeVrtGraph = &freeVrt;
    main.frmBreakPntParams = &breakPnt;
    main.frmVortexAreaInfo = &vortexArea;
    main.resize(946, 544);
    main.show();
  }
  // A short run from the Start button.
  void Start(const char* maxTime) {
    main.edMaxTime->setText(maxTime);
    main.btnStart->click();
  }
};

}  // namespace

class MainWindowDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void hiddenItemsStayHidden();
  void areaConfigurationRebuildsTheModel();
  void areaConfigurationCancelled();
  void recordingDialogsReachEveryRun();
  void duringARunTheModelIsLeftAlone();
  void areaDialogShowsTheLoadedPlane();
  void vortexZoneNeedsFreeVortices();
  void vortexZoneGivesThePictureBack();
  void chartWindowsOpenFromTheMenu();
};

void MainWindowDialogsTest::hiddenItemsStayHidden() {
  Program p;
  QVERIFY(!p.main.miFreeVortexGraph->isVisible());
  QVERIFY(!p.main.miBreakPntParams->isVisible());
  QVERIFY(p.main.miPulsationParams->isVisible());
  QVERIFY(p.main.miVortexArea->isVisible());
  QVERIFY(p.main.miAreaConfig->isVisible());
}

void MainWindowDialogsTest::areaConfigurationRebuildsTheModel() {
  Program p;
  p.Start("0,01");
  QVERIFY(p.model.FreeVortexCount > 0);
  QVERIFY(p.main.btnContinue->isEnabled());
  const int32_t before = p.model.AttachedCount;

  WhenDialogShown(&p.area, [&p]() {
    QCOMPARE(p.area.edAlpha->text(), QStringLiteral("30,00"));
    p.area.edH->setText("0,02");
    auto box = AnswerNextBox(QMessageBox::Yes);
    p.area.btnOk->click();
  });
  p.main.miAreaConfig->trigger();

  QVERIFY(p.model.VortexSpacing == 0.02L);
  QCOMPARE(p.model.FreeVortexCount, 0);
  QVERIFY(p.model.Time == 0);
  QVERIFY(p.model.AttachedCount < before);  // coarser spacing, fewer attached vortices
  QCOMPARE(p.main.lbTime->text(), QStringLiteral("Прошло времени: "));
  QCOMPARE(p.main.lbVortexCount->text(), QStringLiteral("Свободных вихрей: "));
  QCOMPARE(p.main.lbStatus->text(), QString::fromStdString(AttachedCountText(p.model)));
  QVERIFY(!p.main.btnContinue->isEnabled());
  QVERIFY(p.main.btnStart->isEnabled());
}

void MainWindowDialogsTest::areaConfigurationCancelled() {
  Program p;
  p.Start("0,01");
  const int32_t freeCount = p.model.FreeVortexCount;
  const QString time = p.main.lbTime->text();
  WhenDialogShown(&p.area, [&p]() {
    p.area.edB->setText("0,3");
    p.area.btnCancel->click();
  });
  p.main.miAreaConfig->trigger();
  QVERIFY(p.model.ChannelRadius == 0.15L);
  QCOMPARE(p.model.FreeVortexCount, freeCount);
  QCOMPARE(p.main.lbTime->text(), time);
  QVERIFY(p.main.btnContinue->isEnabled());
}

void MainWindowDialogsTest::recordingDialogsReachEveryRun() {
  QTemporaryDir dir;
  Program p;
  const QString pls = dir.filePath("from_dialog.pls");
  WhenDialogShown(&p.pulsate, [&p, pls]() {
    p.pulsate.cbUsePulsation->setChecked(true);
    p.pulsate.sePointsCnt->setValue(1);
    p.pulsate.SetCellText(1, 1, "0,2");
    p.pulsate.SetCellText(2, 1, "0,1");
    p.pulsate.edFilename->setText(pls);
    p.pulsate.btnOk->click();
  });
  p.main.miPulsationParams->trigger();
  QVERIFY(p.model.PulsationOn);

  // Start copies the dialogs again, so a model changed behind them is reset.
  p.model.PulsationOn = false;
  p.model.TrackOn = true;
  p.Start("0,01");
  QVERIFY(p.model.PulsationOn);
  QVERIFY(!p.model.TrackOn);  // the hidden dialog keeps its switch off
  QVERIFY(QFile::exists(pls));

  // Switched off in the dialog: the next Continue records nothing new.
  QFile::remove(pls);
  WhenDialogShown(&p.pulsate, [&p]() {
    p.pulsate.cbUsePulsation->setChecked(false);
    p.pulsate.btnOk->click();
  });
  p.main.miPulsationParams->trigger();
  p.main.edMaxTime->setText("0,02");
  p.main.btnContinue->click();
  QVERIFY(!p.model.PulsationOn);
  QVERIFY(!QFile::exists(pls));
  QCOMPARE(p.model.PulsationFileName, pls.toStdString());  // kept for later
}

void MainWindowDialogsTest::duringARunTheModelIsLeftAlone() {
  QTemporaryDir dir;
  Program p;
  const QString pls = dir.filePath("later.pls");
  bool ranDuringRun = false;
  std::shared_ptr<mdv::test::SeenBox> refusal;
  // Fires at the run's first pass through the pending events.
  QTimer::singleShot(0, &p.main, [&]() {
    ranDuringRun = p.main.IsRunning();
    WhenDialogShown(&p.pulsate, [&p, pls]() {
      p.pulsate.cbUsePulsation->setChecked(true);
      p.pulsate.SetCellText(1, 1, "0,2");
      p.pulsate.SetCellText(2, 1, "0,1");
      p.pulsate.edFilename->setText(pls);
      p.pulsate.btnOk->click();
    });
    p.main.miPulsationParams->trigger();
    // A new area would replace the arrays the run works on: refused.
    refusal = AnswerNextBox();
    p.main.miAreaConfig->trigger();
  });
  p.Start("0,02");
  QVERIFY(ranDuringRun);
  QVERIFY(refusal && refusal->Seen);
  QVERIFY(!p.model.PulsationOn);  // the run kept the settings it started with
  QVERIFY(!QFile::exists(pls));
  QVERIFY(p.pulsate.cbUsePulsation->isChecked());  // the dialog kept the input

  p.main.edMaxTime->setText("0,03");
  p.main.btnContinue->click();  // the next run takes it
  QVERIFY(p.model.PulsationOn);
  QVERIFY(QFile::exists(pls));
}

void MainWindowDialogsTest::areaDialogShowsTheLoadedPlane() {
  QTemporaryDir dir;
  const QString evt = dir.filePath("pl.evt");
  Model saved;
  saved.PlaneX = -0.8L;
  saved.PlaneHalfLength = 0.6L;
  BuildArea(saved);
  std::string error;
  QVERIFY2(SaveVortexFile(saved, evt.toStdString(), error), error.c_str());

  Program p;
  QVERIFY(p.main.LoadVortexFileFrom(evt));
  QString px, pl;
  WhenDialogShown(&p.area, [&]() {
    px = p.area.edPx->text();
    pl = p.area.edPL->text();
    p.area.btnCancel->click();
  });
  p.main.miAreaConfig->trigger();
  QCOMPARE(px, QStringLiteral("-0,8"));
  QCOMPARE(pl, QStringLiteral("0,6"));
}

void MainWindowDialogsTest::vortexZoneNeedsFreeVortices() {
  Program p;
  bool shown = false;
  WhenDialogShown(&p.vortexArea, [&p, &shown]() {
    shown = true;
    p.vortexArea.reject();
  });
  auto box = AnswerNextBox();
  p.main.miVortexArea->trigger();
  QVERIFY(box->Seen);
  QCOMPARE(box->Text, QStringLiteral("Не задана вихревая структура"));
  QVERIFY(!shown);
}

void MainWindowDialogsTest::vortexZoneGivesThePictureBack() {
  Program p;
  p.Start("0,01");
  QVERIFY(p.model.FreeVortexCount > 0);
  const QSize mainSize = p.picture.Image().size();
  const Real mainScale = p.picture.PicScale();
  QSize insideSize;
  WhenDialogShown(&p.vortexArea, [&p, &insideSize]() {
    insideSize = p.picture.Image().size();
    p.vortexArea.reject();
  });
  p.main.miVortexArea->trigger();
  QCOMPARE(insideSize, QSize(873, 265));
  QCOMPARE(p.picture.Image().size(), mainSize);
  QVERIFY(p.picture.PicScale() == mainScale);
}

void MainWindowDialogsTest::chartWindowsOpenFromTheMenu() {
  Program p;
  bool charts = false, graph = false;
  WhenDialogShown(&p.viewPulsate, [&]() {
    charts = true;
    p.viewPulsate.reject();
  });
  p.main.miPulsationCharts->trigger();
  QVERIFY(charts);
  WhenDialogShown(&p.freeVrt, [&]() {
    graph = true;
    p.freeVrt.reject();
  });
  p.main.miFreeVortexGraph->trigger();  // hidden, yet its command works
  QVERIFY(graph);
}

QTEST_MAIN(MainWindowDialogsTest)
#include "main_window_dialogs_test.moc"
