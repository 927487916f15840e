// The study window on a study folder with done, failed and pending cases:
// the table shows every case with its state and results, the chart draws a
// line per value of the other swept parameter with the done cases only, and
// choosing another parameter or result redraws it. A folder without a study
// is refused with its message.
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineSeries>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "core/study/study_plan.h"
#include "modal_driver.h"
#include "ui/study_view.h"

using namespace mdv;

class StudyViewTest : public QObject {
  Q_OBJECT
 private slots:
  void ShowsCasesAndChartsAResultAgainstAParameter();
};

void StudyViewTest::ShowsCasesAndChartsAResultAgainstAParameter() {
  QTemporaryDir tmp;
  const std::string dir = tmp.path().toStdString() + "/s";
  const std::string text =
      "name = \"окно\"\n[sweep]\nflange-angle-deg = [15, 30, 45]\ninflow-speed = [0, 0.75]\n";
  StudyDefinition definition;
  std::string error;
  QVERIFY(ParseStudy(text, "s.toml", {}, definition, error));
  const auto cases = PlanCases(definition);
  QVERIFY(WriteStudyPlan(text, definition, cases, dir, error));
  // Beff = angle / 100 + speed, b = 2·Beff for the done cases; case 5 failed, case 3 pending.
  for (const StudyCase& c : cases) {
    if (c.Id == 3) continue;
    if (c.Id == 5) {
      QVERIFY(MarkCaseFailed(dir, c.Id, "Отказ", error));
      continue;
    }
    const Real beff = std::stold(c.SweptValues[0]) / 100 + std::stold(c.SweptValues[1]);
    const CaseResults r = {{"Beff", "м", beff}, {"b", "м", 2 * beff}};
    QVERIFY(WriteTextFile(CaseFile(dir, c.Id, CaseResultsName), ResultsFileText(r), error));
    QVERIFY(MarkCaseDone(dir, c.Id, error));
  }

  StudyView view;
  QVERIFY(view.Open(QString::fromStdString(dir)));
  QCOMPARE(view.sgCases->rowCount(), 6);
  QCOMPARE(view.sgCases->horizontalHeaderItem(1)->text(), QStringLiteral("flange-angle-deg, °"));
  QCOMPARE(view.sgCases->horizontalHeaderItem(4)->text(), QStringLiteral("Bэф, м"));
  QCOMPARE(view.sgCases->item(1, 2)->text(), QStringLiteral("0,75"));
  QCOMPARE(view.sgCases->item(1, 4)->text(), QStringLiteral("0,9"));
  QCOMPARE(view.sgCases->item(3, 3)->text(), QStringLiteral("ожидает"));
  QCOMPARE(view.sgCases->item(5, 3)->text(), QStringLiteral("ошибка"));
  QCOMPARE(view.sgCases->item(5, 6)->text(), QStringLiteral("Отказ"));
  QVERIFY(view.lbStudy->text().contains(QStringLiteral("рассчитано 4, с ошибкой 1")));

  // Bэф against the angle: a line per inflow speed, the failed and pending cases left out.
  auto lines = [&] {
    QList<QLineSeries*> out;
    for (QAbstractSeries* s : view.Chart1->chart()->series()) out << qobject_cast<QLineSeries*>(s);
    return out;
  };
  QCOMPARE(view.cbResult->currentText(), QStringLiteral("Bэф, м"));
  QList<QLineSeries*> l = lines();
  QCOMPARE(l.size(), 2);
  QCOMPARE(l[0]->name(), QStringLiteral("inflow-speed = 0"));
  QCOMPARE(l[0]->count(), 3);
  QCOMPARE(l[1]->count(), 1);
  QCOMPARE(l[0]->at(2), QPointF(45, 0.45));

  // b against the inflow speed: a line per angle with both speeds where done.
  view.cbResult->setCurrentIndex(1);
  view.cbParameter->setCurrentIndex(1);
  l = lines();
  QCOMPARE(l.size(), 3);
  QCOMPARE(l[0]->name(), QStringLiteral("flange-angle-deg = 15"));
  QCOMPARE(l[0]->count(), 2);
  QCOMPARE(l[0]->at(1), QPointF(0.75, 2 * (0.15 + 0.75)));

  // Not a study: refused with the message, nothing shown changes.
  const auto box = mdv::test::AnswerNextBox(QMessageBox::Ok);
  QVERIFY(!view.Open(tmp.path()));
  QVERIFY(box->Seen);
  QVERIFY2(box->Text.contains(QStringLiteral("не содержит исследования")), qPrintable(box->Text));
  QCOMPARE(view.sgCases->rowCount(), 6);
}

QTEST_MAIN(StudyViewTest)
#include "study_view_test.moc"
