// The main window during a run's set-up: a fine contour takes tens of
// seconds before the first step, and the status bar says how far it is.
#include <QLabel>
#include <QtTest>
#include <thread>

#include "core/model/area.h"
#include "core/model/model.h"
#include "ui/main_window.h"
#include "ui/picture.h"

using mdv::Observer;

class SetupProgressTest : public QObject {
  Q_OBJECT
 private slots:
  void longSetUpShowsProgressThenTheAttachedCount();
};

void SetupProgressTest::longSetUpShowsProgressThenTheAttachedCount() {
  mdv::Model model;
  mdv::BuildArea(model);
  mdv::Picture picture(model);
  mdv::TfrmMain w(model, picture);
  const QString count = w.lbStatus->text();
  QVERIFY(count.startsWith(QStringLiteral("Количество присоединенных вихрей: ")));

  // The first second shows nothing: short set-ups do not flicker.
  w.SetupProgress(Observer::SetupStage::Matrix, 10, 100);
  QCOMPARE(w.lbStatus->text(), count);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  w.SetupProgress(Observer::SetupStage::Matrix, 50, 100);
  QCOMPARE(w.lbStatus->text(), QStringLiteral("Подготовка расчета: матрица влияния, 50 %"));
  // Half the elimination steps are half its work too (i·(N − i) per step, symmetric).
  w.SetupProgress(Observer::SetupStage::Elimination, 50, 100);
  QCOMPARE(w.lbStatus->text(), QStringLiteral("Подготовка расчета: исключение Гаусса, 50 %"));
  // A report behind the last begins a new set-up (the last ended without a
  // step): its first second is quiet again.
  w.SetupProgress(Observer::SetupStage::Matrix, 10, 100);
  QCOMPARE(w.lbStatus->text(), QStringLiteral("Подготовка расчета: исключение Гаусса, 50 %"));

  // The first step ends the set-up: the attached count is back.
  w.StepDone(model);
  QCOMPARE(w.lbStatus->text(), count);
}

QTEST_MAIN(SetupProgressTest)
#include "setup_progress_test.moc"
