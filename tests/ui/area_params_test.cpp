// The area configuration dialog against a real model: the fields as filled
// from the model, the order and texts of the OK handler's checks, the
// confirmation, and the transfer into the model.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/model/area.h"
#include "core/model/model.h"
#include "modal_driver.h"
#include "ui/area_params.h"

using namespace mdv;
using mdv::test::AnswerNextBox;
using mdv::test::Shown;
using mdv::test::WhenDialogShown;

namespace {

const QString kPositive =
    QStringLiteral("Параметры области должны быть положительными\r(угол наклона может быть нулевым)");
const QString kSuctionBeyondChannel = QStringLiteral(
    "Длина всасывающего канала должна быть\rбольше либо равна абсциссе всасывающего отрезка.");
const QString kPlaneRight = QStringLiteral("Плоскость должна находиться левее козырька");
const QString kParse = QStringLiteral("Ошибка при задании параметров");

// Field name → edit box of the dialog.
QLineEdit* Field(TfrmAreaParams& d, const QString& name) {
  const std::pair<const char*, QLineEdit*> all[] = {
      {"edH", d.edH},   {"edB", d.edB},         {"edL", d.edL},         {"edLL", d.edLL},
      {"ed_l", d.ed_l}, {"edAlpha", d.edAlpha}, {"edSpeed", d.edSpeed}, {"edInSpeed", d.edInSpeed},
      {"edIL", d.edIL}, {"edPL", d.edPL},       {"edPx", d.edPx}};
  for (const auto& [n, e] : all)
    if (name == QLatin1String(n)) return e;
  return nullptr;
}

}  // namespace

class AreaParamsTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void fieldsFilledFromModel();
  void validation_data();
  void validation();
  void errorKeepsDialogOpenWithInput();
  void noAtConfirmationKeepsDialogOpen();
  void acceptedEditReachesModel();
  void cancelLeavesModelUntouched();
};

void AreaParamsTest::initTestCase() { QVERIFY(mdv::test::LoadRussianQtTranslation()); }

void AreaParamsTest::fieldsFilledFromModel() {
  Model m;
  TfrmAreaParams dlg;
  dlg.FillFromModel(m);
  QCOMPARE(dlg.windowTitle(), QStringLiteral("Конфигурация области"));
  QCOMPARE(dlg.edH->text(), QStringLiteral("0,01"));
  QCOMPARE(dlg.edB->text(), QStringLiteral("0,15"));
  QCOMPARE(dlg.edL->text(), QStringLiteral("1"));
  QCOMPARE(dlg.edLL->text(), QStringLiteral("1,2"));
  QCOMPARE(dlg.ed_l->text(), QStringLiteral("0,5"));
  QCOMPARE(dlg.edAlpha->text(), QStringLiteral("30,00"));
  QCOMPARE(dlg.edSpeed->text(), QStringLiteral("1"));
  QCOMPARE(dlg.edInSpeed->text(), QStringLiteral("0,75"));
  QCOMPARE(dlg.edIL->text(), QStringLiteral("0,02"));
  QCOMPARE(dlg.edPL->text(), QStringLiteral("0,4"));
  QCOMPARE(dlg.edPx->text(), QStringLiteral("-0,5"));
  QCOMPARE(dlg.btnCancel->text(), QStringLiteral("Отмена"));

  // Every opening overwrites the fields from the model.
  m.FlangeAngle = Pi / 4;
  m.PlaneX = -0.75L;
  dlg.edH->setText("typed");
  dlg.FillFromModel(m);
  QCOMPARE(dlg.edAlpha->text(), QStringLiteral("45,00"));
  QCOMPARE(dlg.edPx->text(), QStringLiteral("-0,75"));
  QCOMPARE(dlg.edH->text(), QStringLiteral("0,01"));
}

void AreaParamsTest::validation_data() {
  QTest::addColumn<QStringList>("edits");  // pairs: field name, text
  QTest::addColumn<QString>("message");    // empty: accepted
  QTest::newRow("defaults") << QStringList{} << QString();
  QTest::newRow("decimal point") << QStringList{"edB", "0.15"} << kParse;
  QTest::newRow("letters in the last field") << QStringList{"edPx", "abc"} << kParse;
  QTest::newRow("empty field") << QStringList{"edPL", ""} << kParse;
  QTest::newRow("zero wall thickness") << QStringList{"edIL", "0"} << kPositive;
  QTest::newRow("negative suction speed") << QStringList{"edSpeed", "-1"} << kPositive;
  QTest::newRow("zero spacing") << QStringList{"edH", "0"} << kPositive;
  QTest::newRow("negative angle") << QStringList{"edAlpha", "-5"} << kPositive;
  QTest::newRow("zero inflow accepted") << QStringList{"edInSpeed", "0"} << QString();
  QTest::newRow("zero angle accepted") << QStringList{"edAlpha", "0", "edPx", "-0,6"} << QString();
  QTest::newRow("L equal to LL accepted") << QStringList{"edL", "1,2"} << QString();
  QTest::newRow("L greater than LL") << QStringList{"edL", "1,3"} << kSuctionBeyondChannel;
  QTest::newRow("plane right of the flange") << QStringList{"edPx", "-0,4"} << kPlaneRight;
  // A plane closer to the hood than one spacing, and a spacing that leaves a
  // rib with a single vortex, make no flow; a plane right at the flange end
  // is refused too.
  QTest::newRow("plane one spacing left of the flange end") << QStringList{"edPx", "-0,444"} << QString();
  QTest::newRow("plane 1 mm left of the flange end")
      << QStringList{"edPx", "-0,434"}
      << QStringLiteral("Плоскость расположена слишком близко к козырьку:\rзазор 0,000987 м меньше "
                        "расстояния между\rрасчетными точками (0,01 м).");
  QTest::newRow("flat flange on the default plane")
      << QStringList{"edAlpha", "0"}
      << QStringLiteral("Плоскость расположена слишком близко к козырьку:\rзазор 0 м меньше "
                        "расстояния между\rрасчетными точками (0,01 м).");
  QTest::newRow("spacing coarser than the suction section")
      << QStringList{"edH", "0,2"}
      << QStringLiteral("Расстояние между расчетными точками слишком велико:\rна всасывающем отрезке "
                        "получается меньше двух\rприсоединенных вихрей. Уменьшите его до 0,066 м.");
  // Reading comes before the signs, the signs before the channel, the channel
  // before the plane.
  QTest::newRow("parse before sign") << QStringList{"edIL", "0", "edPx", "x"} << kParse;
  QTest::newRow("sign before L > LL") << QStringList{"edL", "2", "edIL", "0"} << kPositive;
  QTest::newRow("L > LL before the plane")
      << QStringList{"edL", "2", "edPx", "0"} << kSuctionBeyondChannel;
  // What BuildArea could not turn into a sound contour is refused too.
  QTest::newRow("plane without size")
      << QStringList{"edPL", "0"} << QStringLiteral("Полудлина плоскости должна быть положительной");
  QTest::newRow("channel shorter than the wall corner")
      << QStringList{"edL", "0,004", "edLL", "0,004"}
      << QStringLiteral("Длина всасывающего канала слишком мала при заданных\rтолщине стенок и "
                        "угле наклона козырька");
  QTest::newRow("flange shorter than the wall corner")
      << QStringList{"ed_l", "0,004"}
      << QStringLiteral("Длина козырька слишком мала при заданных\rтолщине стенок и угле наклона "
                        "козырька");
}

void AreaParamsTest::validation() {
  QFETCH(QStringList, edits);
  QFETCH(QString, message);
  Model m;
  TfrmAreaParams dlg;
  dlg.FillFromModel(m);
  for (int i = 0; i + 1 < edits.size(); i += 2) Field(dlg, edits[i])->setText(edits[i + 1]);
  QCOMPARE(dlg.ValidationMessage(), message);
}

void AreaParamsTest::errorKeepsDialogOpenWithInput() {
  Model m;
  TfrmAreaParams dlg;
  dlg.FillFromModel(m);
  dlg.show();
  dlg.edIL->setText("0");
  auto box = AnswerNextBox();
  dlg.btnOk->click();
  QVERIFY(box->Seen);
  QCOMPARE(box->Text, Shown(kPositive));
  QVERIFY(dlg.isVisible());
  QCOMPARE(dlg.edIL->text(), QStringLiteral("0"));
}

void AreaParamsTest::noAtConfirmationKeepsDialogOpen() {
  Model m;
  TfrmAreaParams dlg;
  dlg.FillFromModel(m);
  dlg.show();
  dlg.edB->setText("0,2");
  auto box = AnswerNextBox(QMessageBox::No);
  dlg.btnOk->click();
  QVERIFY(box->Seen);
  QCOMPARE(box->Text, Shown(TfrmAreaParams::ConfirmText()));
  QCOMPARE(box->ButtonTexts.size(), 2);
  QVERIFY(box->ButtonTexts.contains(QStringLiteral("&Да")) ||
          box->ButtonTexts.contains(QStringLiteral("Да")));
  QVERIFY(box->ButtonTexts.contains(QStringLiteral("&Нет")) ||
          box->ButtonTexts.contains(QStringLiteral("Нет")));
  QVERIFY(dlg.isVisible());
  QVERIFY(dlg.result() != QDialog::Accepted);
  QVERIFY(m.ChannelRadius == 0.15L);
}

void AreaParamsTest::acceptedEditReachesModel() {
  Model m;
  BuildArea(m);
  m.FreeVortexCount = 3;
  m.Time = 0.25L;
  m.PulsationOn = true;
  m.PulsationFileName = "keep.pls";
  TfrmAreaParams dlg;
  WhenDialogShown(&dlg, [&dlg]() {
    dlg.edH->setText("0,02");
    dlg.edAlpha->setText("45");
    dlg.edPx->setText("-0,6");
    dlg.edInSpeed->setText("0");
    auto box = AnswerNextBox(QMessageBox::Yes);
    dlg.btnOk->click();
  });
  QVERIFY(dlg.Execute(m));
  QVERIFY(m.VortexSpacing == 0.02L);
  QVERIFY(m.FlangeAngle == 45.0L / 180 * Pi);
  QVERIFY(m.PlaneX == -0.6L);
  QVERIFY(m.InflowSpeed == 0);
  QVERIFY(m.ChannelRadius == 0.15L);  // untouched fields keep their values
  QCOMPARE(m.FreeVortexCount, 0);
  QVERIFY(m.Time == 0);
  QVERIFY(m.PulsationOn);
  QCOMPARE(m.PulsationFileName, std::string("keep.pls"));
}

void AreaParamsTest::cancelLeavesModelUntouched() {
  Model m;
  m.FreeVortexCount = 3;
  m.Time = 0.25L;
  TfrmAreaParams dlg;
  WhenDialogShown(&dlg, [&dlg]() {
    dlg.edB->setText("0,3");
    auto box = AnswerNextBox(QMessageBox::No);
    dlg.btnOk->click();  // No: the dialog stays open
    dlg.btnCancel->click();
  });
  QVERIFY(!dlg.Execute(m));
  QVERIFY(m.ChannelRadius == 0.15L);
  QCOMPARE(m.FreeVortexCount, 3);
  QVERIFY(m.Time == 0.25L);
  // The next opening shows the model again, not the cancelled input.
  dlg.FillFromModel(m);
  QCOMPARE(dlg.edB->text(), QStringLiteral("0,15"));
}

QTEST_MAIN(AreaParamsTest)
#include "area_params_test.moc"
