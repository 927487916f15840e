// The pulsation and separated-vortex recording dialogs and the interval
// dialog, built offscreen against a real model and driven as a user would.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "modal_driver.h"
#include "ui/break_pnt_intervals.h"
#include "ui/break_pnt_params.h"
#include "ui/file_name_edit.h"
#include "ui/pulsate_param.h"

using namespace mdv;
using mdv::test::AnswerNextBox;
using mdv::test::WhenDialogShown;

class RecordingDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void pulsationSwitchEnablesItsControls();
  void pointCountSizesTheGrid_data();
  void pointCountSizesTheGrid();
  void generatedExperimentGrid();
  void okValidatesPointsOnlyWhenRecording_data();
  void okValidatesPointsOnlyWhenRecording();
  void applyCopiesControlsIntoModel();
  void applyWithSwitchOffKeepsPointsAndName();
  void cancelRestoresLastAppliedState();
  void cancelBeforeAnyApplyShowsMinimumCount();
  void okAppliesThroughExecute();
  void pulsationFileDialogSettings();
  void breakPointDialog();
  void intervalSpinEditsIgnoreTyping();
};

void RecordingDialogsTest::pulsationSwitchEnablesItsControls() {
  Model m;
  TfrmPulsateParam dlg(m);
  QCOMPARE(dlg.windowTitle(), QStringLiteral("Параметры расчета пульсаций"));
  QCOMPARE(dlg.HeaderText(1), QStringLiteral("Координата X"));
  QCOMPARE(dlg.HeaderText(2), QStringLiteral("Координата Y"));
  QVERIFY(!dlg.cbUsePulsation->isChecked());
  QWidget* const four[] = {dlg.sePointsCnt, dlg.sgPoints, dlg.btnGeneratePoints, dlg.edFilename};
  for (QWidget* w : four) QVERIFY2(!w->isEnabled(), qPrintable(w->metaObject()->className()));

  dlg.cbUsePulsation->click();
  for (QWidget* w : four) QVERIFY2(w->isEnabled(), qPrintable(w->metaObject()->className()));
  QVERIFY(dlg.edFilename->browseButton()->isEnabled());

  dlg.cbUsePulsation->click();
  for (QWidget* w : four) QVERIFY(!w->isEnabled());
  QVERIFY(!dlg.edFilename->browseButton()->isEnabled());
}

void RecordingDialogsTest::pointCountSizesTheGrid_data() {
  QTest::addColumn<int>("typed");
  QTest::addColumn<int>("count");
  QTest::newRow("initial 1") << 1 << 1;
  QTest::newRow("five") << 5 << 5;
  QTest::newRow("upper limit") << 100 << 100;
  QTest::newRow("above the limit") << 250 << 100;
  QTest::newRow("below the limit") << 0 << 1;
}

void RecordingDialogsTest::pointCountSizesTheGrid() {
  QFETCH(int, typed);
  QFETCH(int, count);
  Model m;
  TfrmPulsateParam dlg(m);
  dlg.sePointsCnt->setValue(typed);
  QCOMPARE(dlg.sePointsCnt->value(), count);
  QCOMPARE(dlg.GridRowCount(), count + 1);  // header row plus the points
}

void RecordingDialogsTest::generatedExperimentGrid() {
  Model m;
  TfrmPulsateParam dlg(m);
  dlg.cbUsePulsation->setChecked(true);
  dlg.btnGeneratePoints->click();
  QCOMPARE(dlg.sePointsCnt->value(), 77);
  QCOMPARE(dlg.GridRowCount(), 78);
  const QStringList stations = {"0,09", "0,18", "0,21", "0,39", "0,45", "0,75", "0,81"};
  for (int i = 0; i < 7; ++i) {
    for (int j = 0; j < 11; ++j) {
      const int r = 11 * i + j + 1;
      QCOMPARE(dlg.CellText(1, r), stations[i]);
      // Heights 0, 0,015 … 0,15 m read back as the same numbers.
      const auto y = ParseReal(dlg.CellText(2, r).toStdString());
      QVERIFY2(y.has_value(), qPrintable(dlg.CellText(2, r)));
      QVERIFY2(std::abs(*y - 0.015L * j) < 1e-15L, qPrintable(dlg.CellText(2, r)));
    }
  }
  QCOMPARE(dlg.CellText(1, 12), QStringLiteral("0,18"));
  QCOMPARE(dlg.CellText(2, 12), QStringLiteral("0"));
  QCOMPARE(dlg.CellText(2, 2), QStringLiteral("0,015"));
  QCOMPARE(dlg.CellText(2, 11), QStringLiteral("0,15"));
  QCOMPARE(dlg.CellText(1, 77), QStringLiteral("0,81"));
}

void RecordingDialogsTest::okValidatesPointsOnlyWhenRecording_data() {
  QTest::addColumn<bool>("recording");
  QTest::addColumn<QString>("x2");
  QTest::addColumn<QString>("y2");
  QTest::addColumn<bool>("closes");
  QTest::newRow("valid points") << true << "0,3" << "0,05" << true;
  QTest::newRow("empty cell") << true << "" << "0,05" << false;
  QTest::newRow("decimal point") << true << "0,3" << "0.05" << false;
  QTest::newRow("letters") << true << "abc" << "0,05" << false;
  QTest::newRow("switch off, empty cell") << false << "" << "0,05" << true;
}

void RecordingDialogsTest::okValidatesPointsOnlyWhenRecording() {
  QFETCH(bool, recording);
  QFETCH(QString, x2);
  QFETCH(QString, y2);
  QFETCH(bool, closes);
  Model m;
  TfrmPulsateParam dlg(m);
  dlg.show();
  dlg.cbUsePulsation->setChecked(true);
  dlg.sePointsCnt->setValue(2);
  dlg.SetCellText(1, 1, "0,2");
  dlg.SetCellText(2, 1, "0,15");
  dlg.SetCellText(1, 2, x2);
  dlg.SetCellText(2, 2, y2);
  dlg.cbUsePulsation->setChecked(recording);

  auto box = AnswerNextBox();
  dlg.btnOk->click();
  QCOMPARE(dlg.isVisible(), !closes);
  QCOMPARE(box->Seen, !closes);
  if (!closes) {
    QCOMPARE(box->Text, TfrmPulsateParam::BadPointsMessage());
    QCOMPARE(dlg.CellText(2, 2), y2);  // the input is kept for correction
  } else {
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
  }
  QVERIFY(!m.PulsationOn);  // OK alone changes nothing in the model
}

void RecordingDialogsTest::applyCopiesControlsIntoModel() {
  Model m;
  TfrmPulsateParam dlg(m);
  dlg.cbUsePulsation->setChecked(true);
  dlg.sePointsCnt->setValue(3);
  const char* cells[3][2] = {{"0,2", "0,15"}, {"-0,1", "0,3"}, {"1E-3", "0"}};
  for (int r = 0; r < 3; ++r) {
    dlg.SetCellText(1, r + 1, cells[r][0]);
    dlg.SetCellText(2, r + 1, cells[r][1]);
  }
  dlg.edFilename->setText("run7.pls");
  QVERIFY(dlg.ApplyPulsateParams());
  QVERIFY(m.PulsationOn);
  QCOMPARE(m.PulsationPointCount, 3);
  QCOMPARE(int(m.PulsationPoints.size()), 3);
  for (int r = 0; r < 3; ++r) {
    QVERIFY(m.PulsationPoints[r].X == *ParseReal(cells[r][0]));
    QVERIFY(m.PulsationPoints[r].Y == *ParseReal(cells[r][1]));
  }
  QCOMPARE(QString::fromStdString(m.PulsationFileName), QStringLiteral("run7.pls"));

  // A cell that is not a number never reaches the model.
  dlg.SetCellText(2, 3, "x");
  const Model before = m;
  QVERIFY(!dlg.ApplyPulsateParams());
  QCOMPARE(m.PulsationPointCount, before.PulsationPointCount);
  QVERIFY(m.PulsationPoints[2].Y == before.PulsationPoints[2].Y);
}

void RecordingDialogsTest::applyWithSwitchOffKeepsPointsAndName() {
  Model m;
  m.PulsationOn = true;
  m.PulsationPointCount = 2;
  m.PulsationPoints = {{0.1L, 0.2L}, {0.3L, 0.4L}};
  m.PulsationFileName = "kept.pls";
  TfrmPulsateParam dlg(m);
  dlg.sePointsCnt->setValue(7);
  dlg.edFilename->setText("other.pls");
  QVERIFY(dlg.ApplyPulsateParams());
  QVERIFY(!m.PulsationOn);
  QCOMPARE(m.PulsationPointCount, 2);
  QVERIFY(m.PulsationPoints[1].Y == 0.4L);
  QCOMPARE(m.PulsationFileName, std::string("kept.pls"));
}

void RecordingDialogsTest::cancelRestoresLastAppliedState() {
  Model m;
  TfrmPulsateParam dlg(m);
  dlg.cbUsePulsation->setChecked(true);
  dlg.sePointsCnt->setValue(2);
  dlg.SetCellText(1, 1, "0,2");
  dlg.SetCellText(2, 1, "0,15");
  dlg.SetCellText(1, 2, "0,45");
  dlg.SetCellText(2, 2, "0,03");
  dlg.edFilename->setText("applied.pls");
  QVERIFY(dlg.ApplyPulsateParams());

  // The user edits everything, then cancels.
  WhenDialogShown(&dlg, [&dlg]() {
    dlg.sePointsCnt->setValue(5);
    dlg.SetCellText(1, 1, "9");
    dlg.SetCellText(2, 2, "garbage");
    dlg.edFilename->setText("edited.pls");
    dlg.cbUsePulsation->setChecked(false);
    dlg.btnCancel->click();
  });
  dlg.Execute();

  QVERIFY(dlg.cbUsePulsation->isChecked());
  QVERIFY(dlg.sgPoints->isEnabled());  // the switch's enabling followed the restore
  QCOMPARE(dlg.sePointsCnt->value(), 2);
  QCOMPARE(dlg.GridRowCount(), 3);
  QCOMPARE(dlg.CellText(1, 1), QStringLiteral("0,2"));
  QCOMPARE(dlg.CellText(2, 2), QStringLiteral("0,03"));
  QCOMPARE(dlg.edFilename->text(), QStringLiteral("applied.pls"));
  // The model was not touched by the cancelled edit.
  QCOMPARE(m.PulsationPointCount, 2);
  QCOMPARE(m.PulsationFileName, std::string("applied.pls"));
}

void RecordingDialogsTest::cancelBeforeAnyApplyShowsMinimumCount() {
  Model m;
  TfrmPulsateParam dlg(m);
  WhenDialogShown(&dlg, [&dlg]() {
    dlg.cbUsePulsation->setChecked(true);
    dlg.sePointsCnt->setValue(4);
    dlg.reject();  // closing the window counts as Cancel
  });
  dlg.Execute();
  QCOMPARE(m.PulsationPointCount, 0);
  QCOMPARE(dlg.sePointsCnt->value(), 1);
  QCOMPARE(dlg.GridRowCount(), 2);
  QVERIFY(!dlg.cbUsePulsation->isChecked());
  QVERIFY(!dlg.sePointsCnt->isEnabled());
  QCOMPARE(dlg.edFilename->text(), QStringLiteral("pulsate.pls"));
}

void RecordingDialogsTest::okAppliesThroughExecute() {
  Model m;
  TfrmPulsateParam dlg(m);
  WhenDialogShown(&dlg, [&dlg]() {
    dlg.cbUsePulsation->setChecked(true);
    dlg.btnGeneratePoints->click();
    dlg.btnOk->click();
  });
  dlg.Execute();
  QVERIFY(m.PulsationOn);
  QCOMPARE(m.PulsationPointCount, 77);
  QVERIFY(m.PulsationPoints[11].X == *ParseReal("0,18"));
  QVERIFY(m.PulsationPoints[11].Y == 0);
  QCOMPARE(m.PulsationFileName, std::string("pulsate.pls"));
}

void RecordingDialogsTest::pulsationFileDialogSettings() {
  Model m;
  TfrmPulsateParam pls(m);
  QCOMPARE(pls.edFilename->dialogTitle(), QStringLiteral("Файл для сохранения пульсаций"));
  QCOMPARE(pls.edFilename->filter(), QStringLiteral("Pulsation files (*.pls)"));
  QCOMPARE(pls.edFilename->defaultSuffix(), QStringLiteral("pls"));
  TfrmBreakPntParams fvt(m);
  QCOMPARE(fvt.edFilename->dialogTitle(), QStringLiteral("Сохранение циркуляций оторв. вихря"));
  QCOMPARE(fvt.edFilename->defaultSuffix(), QStringLiteral("fvt"));
  QCOMPARE(fvt.edFilename->text(), QStringLiteral("freevrt.fvt"));

  // The button opens a save dialog with that title; cancelling keeps the name.
  pls.cbUsePulsation->setChecked(true);
  auto title = std::make_shared<QString>();
  mdv::test::WhenModal([](QWidget* w) { return qobject_cast<QDialog*>(w) != nullptr; },
                       [title](QWidget* w) {
                         *title = w->windowTitle();
                         static_cast<QDialog*>(w)->reject();
                       });
  pls.edFilename->browseButton()->click();
  QCOMPARE(*title, QStringLiteral("Файл для сохранения пульсаций"));
  QCOMPARE(pls.edFilename->text(), QStringLiteral("pulsate.pls"));
}

void RecordingDialogsTest::breakPointDialog() {
  Model m;
  TfrmBreakPntParams dlg(m);
  QCOMPARE(dlg.windowTitle(), QStringLiteral("Параметры точки отрыва"));
  QVERIFY(!dlg.cbRememberFreeVort->isChecked());
  QVERIFY(!dlg.edFilename->isEnabled());
  dlg.cbRememberFreeVort->click();
  QVERIFY(dlg.edFilename->isEnabled());

  // Its initial state turns the recording off at every run.
  m.TrackOn = true;
  TfrmBreakPntParams fresh(m);
  fresh.ApplyBreakPntParams();
  QVERIFY(!m.TrackOn);
  QCOMPARE(m.TrackFileName, std::string("freevrt.fvt"));

  // OK applies the name; Cancel restores the model's state.
  WhenDialogShown(&dlg, [&dlg]() {
    dlg.edFilename->setText("vortex1.fvt");
    dlg.btnOk->click();
  });
  dlg.Execute();
  QVERIFY(m.TrackOn);
  QCOMPARE(m.TrackFileName, std::string("vortex1.fvt"));

  WhenDialogShown(&dlg, [&dlg]() {
    dlg.cbRememberFreeVort->setChecked(false);
    dlg.edFilename->setText("edited.fvt");
    dlg.btnCancel->click();
  });
  dlg.Execute();
  QVERIFY(dlg.cbRememberFreeVort->isChecked());
  QVERIFY(dlg.edFilename->isEnabled());
  QCOMPARE(dlg.edFilename->text(), QStringLiteral("vortex1.fvt"));
  QVERIFY(m.TrackOn);
}

void RecordingDialogsTest::intervalSpinEditsIgnoreTyping() {
  TfrmBreakPntIntervals dlg;
  dlg.show();
  QCOMPARE(dlg.windowTitle(), QStringLiteral("Точки отрыва"));
  QCOMPARE(dlg.pcIntervals->count(), 2);
  QCOMPARE(dlg.pcIntervals->tabText(0), QStringLiteral("Верхняя точка"));
  QCOMPARE(dlg.pcIntervals->tabText(1), QStringLiteral("Нижняя точка"));
  for (QSpinBox* s : {dlg.edUpperInterval, dlg.edLowerInterval}) {
    dlg.pcIntervals->setCurrentIndex(s == dlg.edUpperInterval ? 0 : 1);
    QCOMPARE(s->minimum(), 0);
    QCOMPARE(s->maximum(), 100);
    QCOMPARE(s->value(), 0);
    s->setFocus();
    QTest::keyClicks(s, "57");
    QTest::keyClick(s, Qt::Key_Backspace);
    QCOMPARE(s->value(), 0);
    QTest::keyClick(s, Qt::Key_Up);  // the spin keys still step it
    QCOMPARE(s->value(), 1);
  }
}

QTEST_MAIN(RecordingDialogsTest)
#include "recording_dialogs_test.moc"
