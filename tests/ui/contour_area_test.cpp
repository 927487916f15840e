// A hood from a contour file as the window's area: the refined model held on
// while it is loaded, a refused contour leaving the area as it was, the area
// dialog's OK bringing the parametric hood back, and the inlet profiled from
// the averages the window shows.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <fstream>
#include <sstream>

#include "core/averages/averaging.h"
#include "core/averages/averaging_files.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"
#include "modal_driver.h"
#include "ui/area_params.h"
#include "ui/averaged_flow.h"
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/model_toggle.h"
#include "ui/picture.h"

using namespace mdv;
using mdv::test::AnswerNextBox;
using mdv::test::Shown;

namespace {

QString Example(const char* name) {
  return qEnvironmentVariable("MDV_SOURCE_DIR") + QStringLiteral("/examples/contours/") + QString::fromLatin1(name);
}

std::string ReadText(const QString& path) {
  std::ifstream in(path.toStdString());
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const QString& path, const std::string& text) { std::ofstream(path.toStdString()) << text; }

// Answers the next file dialog with `path`.
void AnswerNextFileDialog(const QString& path) {
  mdv::test::WhenModal([](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; },
                       [path](QWidget* w) {
                         auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                         if (name != nullptr) name->setText(path);
                         QMetaObject::invokeMethod(w, "accept");
                       });
}

// A tube end at x = 0 (wall 0,02 m), the channel to x = 1,2 m: both corners
// shed.
Contour Tube() {
  Contour c;
  c.Name = "Патрубок";
  c.Spacing = 0.005L;
  c.Start = {1.2L, 0.17L};
  c.Wall = {{{0, 0.17L}, 0}, {{0, 0.15L}, 0}, {{1.2L, 0.15L}, 0}};
  c.SuctionX = 1.0L;
  c.PlaneX = -0.5L;
  return c;
}

// Averages of the tube whose mean separation streamline is known: it leaves
// the mouth (0, B), sinks by 0,04 m and meets the wall again at x = 0,3 m. The
// core carries ψ = 0,01 m³/s inside it; in the zone an outward layer and a
// reversed one carry nothing net. `zone` false: no reversed flow, no zone.
AveragingResults TubeAverages(bool zone) {
  constexpr double B = 0.15, Q = 0.01, Reattach = 0.3, Depth = 0.04;
  AveragingResults r;
  r.HasAverages = true;
  r.Samples = 40;
  r.AreaKind = "contour";
  r.AreaContour = WriteContourText(Tube());
  r.Contraction.Present = true;
  r.Contraction.HasVenaContracta = true;
  r.Contraction.VenaCc = 0.62;
  r.Contraction.ZetaM = 0.512;
  // A coarse field, as the window shows averages with one.
  AveragingGrid& g = r.Field.Grid;
  g.X0 = -0.2;
  g.Dx = g.Dy = 0.05;
  g.Nx = 25;
  g.Ny = 5;
  const size_t n = static_cast<size_t>(g.Nx * g.Ny);
  g.Inside.assign(n, 1);
  for (std::vector<double>* v : {&r.Field.VxMean, &r.Field.VyMean, &r.Field.SpeedMean, &r.Field.VxRms,
                                 &r.Field.VyRms, &r.Field.SpeedRms})
    v->assign(n, 0.5);
  r.Contraction.MouthX = 0;
  r.Contraction.MouthY = B;
  // The channel sections' mean profiles, every B/4 (30 strips each).
  for (int k = 1; k * B / 4 <= 1.0 - B / 2 + 1e-9; ++k) {
    ContractionSection sec;
    sec.X = k * B / 4;
    const double x = sec.X;
    const double rs = x < Reattach ? B - Depth * std::sqrt(std::sin(M_PI * x / Reattach)) : B;
    const double rm = std::sqrt((B * B + rs * rs) / 2);
    for (int j = 0; j < ContractionSectionPoints; ++j) {
      const double y = B * (j + 0.5) / ContractionSectionPoints;
      const double vx = y < rs ? 2 * Q / (rs * rs) : y < rm ? 0.2 : -0.2;
      sec.Vx.push_back(zone ? vx : std::fabs(vx));
    }
    r.Contraction.Sections.push_back(sec);
  }
  return r;
}

struct Window {
  Model model;
  Picture picture{model};
  TfrmMain win{model, picture};
  TfrmAreaParams areaDialog{&win};
  QAction* refined = nullptr;
  Window() {
    win.frmAreaParams = &areaDialog;
    refined = win.findChild<QAction*>(QStringLiteral("miRefinedModel"));
    win.show();
  }
};

}  // namespace

class ContourAreaTest : public QObject {
  Q_OBJECT
 private slots:
  void contourHoldsTheRefinedModelUntilTheAreaDialogsOk();
  void refusedContourLeavesTheAreaAndSaysWhy();
  void profilesTheZoneOfTheShownAverages();
};

void ContourAreaTest::contourHoldsTheRefinedModelUntilTheAreaDialogsOk() {
  Window w;
  QVERIFY(QTest::qWaitForWindowExposed(&w.win));
  w.win.edMaxFreeVortex->setText(QStringLiteral("300"));
  w.win.edDt->setText(QStringLiteral("0,01"));

  AnswerNextFileDialog(Example("bellmouth-r0.2.toml"));
  w.win.miContourArea->trigger();
  const QString name = QStringLiteral("Труба во фланце со скруглённым входом r/D = 0,2");
  QVERIFY(w.model.ContourArea);
  QCOMPARE(QString::fromStdString(w.model.HoodContour.Name), name);
  QCOMPARE(static_cast<double>(w.model.PlaneX), -4.0);  // the area built from the contour
  QVERIFY2(w.model.BodyRibCount > 9, "the arc's chords are ribs of their own");
  QVERIFY(w.model.Flow == FlowModel::Refined);
  QVERIFY(w.refined->isChecked());
  QCOMPARE(w.win.edMaxFreeVortex->text(), QStringLiteral("4000"));  // the refined model's own ceiling
  QVERIFY2(w.win.windowTitle().contains(name), qPrintable(w.win.windowTitle()));
  QVERIFY(w.win.lbContourArea->isVisible());
  QVERIFY(w.win.lbContourArea->text().contains(name));

  // The program's model cannot be had for a contour, and the user is told why.
  {
    auto box = AnswerNextBox();
    w.refined->trigger();
    QVERIFY(box->Seen);
    QCOMPARE(box->Text, Shown(ModelToggle::LockedText()));
  }
  QVERIFY(w.model.Flow == FlowModel::Refined);
  QVERIFY(w.refined->isChecked());

  // The area dialog shows the parametric hood kept aside (not the contour's
  // plane at -4 m), and its OK brings that hood back.
  QString shownPlaneX;
  mdv::test::WhenDialogShown(&w.areaDialog, [&] {
    shownPlaneX = w.areaDialog.edPx->text();
    w.areaDialog.btnOk->click();
  });
  {
    auto confirm = AnswerNextBox(QMessageBox::Yes);
    w.win.miAreaConfig->trigger();
    QVERIFY(confirm->Seen);
  }
  QCOMPARE(shownPlaneX, QStringLiteral("-0,5"));
  QVERIFY(!w.model.ContourArea);
  QCOMPARE(w.model.BodyRibCount, 7);
  QCOMPARE(static_cast<double>(w.model.PlaneX), -0.5);
  QCOMPARE(w.win.windowTitle(), TfrmMain::Caption());
  QVERIFY(!w.win.lbContourArea->isVisible());
  // Unlocked: the program's model with the user's own run fields.
  w.refined->trigger();
  QVERIFY(w.model.Flow == FlowModel::Program);
  QCOMPARE(w.win.edMaxFreeVortex->text(), QStringLiteral("300"));
}

void ContourAreaTest::refusedContourLeavesTheAreaAndSaysWhy() {
  QTemporaryDir tmp;
  // The flange's edge put below the axis: point 3.
  std::string text = ReadText(Example("bellmouth-r0.2.toml"));
  const std::string edge = R"({ to = [0, "F"] })";
  QVERIFY(text.find(edge) != std::string::npos);
  text.replace(text.find(edge), edge.size(), R"({ to = [0, "-F"] })");
  const QString below = tmp.filePath(QStringLiteral("below.toml"));
  WriteText(below, text);
  Contour bad;
  std::string error;
  QVERIFY2(ReadContourText(text, bad, error), error.c_str());
  const QString fault = QString::fromStdString(ValidateContour(bad));
  QVERIFY(fault.contains(QStringLiteral("3")));
  const QString notToml = tmp.filePath(QStringLiteral("broken.toml"));
  WriteText(notToml, "format = \"rinfet-mdv contour\"\nversion = [");

  Window w;
  const int32_t attached = w.model.AttachedCount;
  auto parametricKept = [&] {
    return !w.model.ContourArea && w.model.AttachedCount == attached && w.model.Flow == FlowModel::Program &&
           !w.refined->isChecked() && w.win.windowTitle() == TfrmMain::Caption();
  };
  {
    auto box = AnswerNextBox();
    QVERIFY(!w.win.LoadContourAreaFrom(below));
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains(fault), qPrintable(box->Text));
    QVERIFY(box->Text.contains(QStringLiteral("below.toml")));
  }
  QVERIFY(parametricKept());
  {
    auto box = AnswerNextBox();
    QVERIFY(!w.win.LoadContourAreaFrom(notToml));
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains(QStringLiteral("broken.toml")), qPrintable(box->Text));
  }
  QVERIFY(parametricKept());

  // Over a contour area a refused one keeps the contour loaded.
  QVERIFY(w.win.LoadContourAreaFrom(Example("flanged-hood.toml")));
  const std::string loaded = w.model.HoodContour.Name;
  const int32_t ribs = w.model.BodyRibCount;
  {
    auto box = AnswerNextBox();
    QVERIFY(!w.win.LoadContourAreaFrom(below));
    QVERIFY(box->Seen);
  }
  QVERIFY(w.model.ContourArea);
  QCOMPARE(w.model.HoodContour.Name, loaded);
  QCOMPARE(w.model.BodyRibCount, ribs);
  QVERIFY(w.refined->isChecked());
}

void ContourAreaTest::profilesTheZoneOfTheShownAverages() {
  QTemporaryDir tmp;
  Window w;
  // Nothing averaged yet: nothing to profile.
  w.win.UpdateProfileAction();
  QVERIFY(!w.win.miProfileContour->isEnabled());

  // No zone in the averages shown: refused with the reason, no file asked for.
  const QString calm = tmp.filePath(QStringLiteral("calm.json"));
  std::string error;
  QVERIFY2(SaveAveragesJson(TubeAverages(false), calm.toStdString(), error), error.c_str());
  QVERIFY(w.win.averages->frmAveragedFlow->LoadFile(calm));
  w.win.UpdateProfileAction();
  QVERIFY(w.win.miProfileContour->isEnabled());
  {
    auto box = AnswerNextBox();
    w.win.miProfileContour->trigger();
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains(QStringLiteral("вихревой зоны нет")), qPrintable(box->Text));
  }
  QVERIFY(!w.model.ContourArea);

  // A zone that reattaches: the profiled contour is written, ζ before is
  // told, and Да makes it the area.
  const QString zone = tmp.filePath(QStringLiteral("zone.json"));
  QVERIFY2(SaveAveragesJson(TubeAverages(true), zone.toStdString(), error), error.c_str());
  QVERIFY(w.win.averages->frmAveragedFlow->LoadFile(zone));
  const QString out = tmp.filePath(QStringLiteral("profiled.toml"));
  AnswerNextFileDialog(out);
  {
    auto box = AnswerNextBox(QMessageBox::Yes);
    w.win.miProfileContour->trigger();
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains(QStringLiteral("ζ входа до профилирования: 0,512")), qPrintable(box->Text));
    QVERIFY(box->Text.contains(QStringLiteral("Загрузить профилированный контур как область расчёта?")));
  }
  Contour written;
  QVERIFY2(ReadContourFile(out.toStdString(), written, error), error.c_str());
  QCOMPARE(ValidateContour(written), std::string());
  QVERIFY(written.Wall.size() > Tube().Wall.size());  // the new wall follows the line in chords
  QVERIFY(w.model.ContourArea);
  QCOMPARE(w.model.HoodContour.Name, written.Name);
  QCOMPARE(w.model.HoodContour.Wall.size(), written.Wall.size());
  QVERIFY(w.model.Flow == FlowModel::Refined);
}

QTEST_MAIN(ContourAreaTest)
#include "contour_area_test.moc"
