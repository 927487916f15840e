#include "ui/main_window_averages.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <string>

#include "core/averages/averaging_files.h"
#include "core/base/numfmt.h"
#include "ui/averaged_flow.h"
#include "ui/dialog_messages.h"
#include "ui/elided_label.h"
#include "ui/main_window.h"
#include "ui/run_markers.h"

namespace mdv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Passes the run's reports on to the main window, then lets the averages
// window follow the step just fed.
class WindowFollower : public ObserverRelay {
 public:
  WindowFollower(RunAverages& a, Observer& inner) : ObserverRelay(inner), a_(a) {}
  void StepDone(const Model& m) override {
    inner_.StepDone(m);
    a_.FollowRun();
  }

 private:
  RunAverages& a_;
};

bool SameRibs(const TRibArray& a, const TRibArray& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k].P1.X != b[k].P1.X || a[k].P1.Y != b[k].P1.Y || a[k].P2.X != b[k].P2.X ||
        a[k].P2.Y != b[k].P2.Y)
      return false;
  }
  return true;
}

// The action that follows `after` in the menu (to insert behind `after`).
QAction* NextAction(QMenu* menu, QAction* after) {
  const QList<QAction*> list = menu->actions();
  const qsizetype at = list.indexOf(after);
  return at >= 0 && at + 1 < list.size() ? list[at + 1] : nullptr;
}

}  // namespace

QString RunAverages::NothingToSaveText() {
  return QStringLiteral("Средних пока нет: они накапливаются во время расчёта и появляются "
                        "после первой выборки поля.");
}

RunAverages::RunAverages(TfrmMain& w) : QObject(&w), w_(w) {
  // Beside the run fields: a fourth row of their group.
  cbUntilSteady = new QCheckBox(QStringLiteral("До установления режима"), w.gbVortexMotion);
  cbUntilSteady->setObjectName(QStringLiteral("cbUntilSteady"));
  cbUntilSteady->setToolTip(QStringLiteral(
      "Закончить расчёт, когда разгон закончился и средние известны с точностью 5 %, "
      "но не позже заданного времени"));
  if (QLayout* l = w.gbVortexMotion->layout()) l->addWidget(cbUntilSteady);

  lbSteady = new ElidedLabel(w.statusBar());
  lbSteady->setObjectName(QStringLiteral("lbSteady"));
  // A long verdict ends in "…" at the window's edge rather than widening it;
  // the tool tip holds the whole text.
  lbSteady->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  w.statusBar()->addWidget(lbSteady, 2);

  QMenu* data = w.menuBar()->findChild<QMenu*>(QStringLiteral("mnData"));
  miSaveAverages = new QAction(QStringLiteral("Сохранить средние…"), &w);
  miSaveAverages->setObjectName(QStringLiteral("miSaveAverages"));
  miLoadAverages = new QAction(QStringLiteral("Загрузить средние…"), &w);
  miLoadAverages->setObjectName(QStringLiteral("miLoadAverages"));
  if (data) {
    data->insertAction(NextAction(data, w.miSavePicture), miSaveAverages);
    data->insertAction(NextAction(data, miSaveAverages), miLoadAverages);
  }

  QMenu* info = w.menuBar()->findChild<QMenu*>(QStringLiteral("mnInformation"));
  miAveragedFlow = new QAction(QStringLiteral("Осреднённое течение"), &w);
  miAveragedFlow->setObjectName(QStringLiteral("miAveragedFlow"));
  if (info) info->addAction(miAveragedFlow);

  // On the picture's tool bar, before "Маркеры", which are counted from the
  // same time: the window's runs are often too short for the running verdict
  // to find the start-up's end, and without a start there are no averages.
  w.tbZoom->addSeparator();
  auto* from = new QLabel(QStringLiteral(" Осреднять с "), w.tbZoom);
  edAverageFrom = new QLineEdit(w.tbZoom);
  edAverageFrom->setObjectName(QStringLiteral("edAverageFrom"));
  edAverageFrom->setFixedWidth(40);
  const QString tip = QStringLiteral(
      "Время, с которого осредняется поле и считаются маркеры, сек. Пусто — с конца разгона, "
      "как его находит проверка установления (в коротком расчёте его может не найтись).");
  edAverageFrom->setToolTip(tip);
  from->setToolTip(tip);
  w.tbZoom->addWidget(from);
  w.tbZoom->addWidget(edAverageFrom);
  w.tbZoom->addWidget(new QLabel(QStringLiteral(" сек. "), w.tbZoom));

  frmAveragedFlow = new TfrmAveragedFlow(&w);
  markers = new RunMarkers(w, state_);

  connect(miSaveAverages, &QAction::triggered, this, &RunAverages::miSaveAveragesClick);
  connect(miLoadAverages, &QAction::triggered, this, &RunAverages::miLoadAveragesClick);
  connect(miAveragedFlow, &QAction::triggered, this, &RunAverages::miAveragedFlowClick);
}

bool RunAverages::ReadAverageFrom() {
  const std::string text = edAverageFrom->text().trimmed().toStdString();
  if (text.empty()) {
    averageFrom_.reset();
    return true;
  }
  const std::optional<Real> t = ParseReal(text);
  if (!t || !std::isfinite(*t)) {
    ShowError(&w_, Q(InvalidFloatMessage(text)));
    return false;
  }
  averageFrom_ = *t;
  return true;
}

RunSummary RunAverages::Run(int32_t maxFree, int32_t freeCount, Real startTime, Real endTime,
                            Real step) {
  Model& m = w_.model();
  AveragingSettings settings;
  settings.UntilSteady = cbUntilSteady->isChecked();
  settings.AverageFrom = averageFrom_;
  // Continue adds to the averages only where the last run left off: after a
  // loaded state of another time (or a new area) they begin anew.
  const bool continues = !fresh_ && state_.Started && !state_.Times.empty() &&
                         state_.Times.back() == startTime && SameRibs(state_.Contour, m.BodyRibs);
  if (continues) {
    ContinueAveraging(state_, m, settings);
  } else {
    StartAveraging(state_, m, settings);
    markers->BeginFresh();
  }
  fresh_ = false;
  lbSteady->clear();
  WindowFollower follower(*this, w_);
  RunMarkers::Relay relay(*markers, follower);
  const AveragedRunSummary r = RunAveraged(m, state_, maxFree, freeCount, startTime, endTime,
                                           step, relay);
  // A run "until steady" says how it ended (steady or at the end time); any
  // run shows the verdict, and the whole account is in the tool tip.
  lbSteady->setText(Q(settings.UntilSteady ? r.EndText : r.Verdict.Text));
  lbSteady->setToolTip(Q(r.EndText));
  if (frmAveragedFlow->isVisible() && !frmAveragedFlow->ShowsFile()) RefreshWindow();
  markers->ShowStatus(static_cast<double>(m.Time));
  return r.Run;
}

void RunAverages::FollowRun() {
  if (!frmAveragedFlow->isVisible() || frmAveragedFlow->ShowsFile()) return;
  if (state_.GridSamples == shownSamples_) return;
  if (std::chrono::steady_clock::now() - shownAt_ < std::chrono::seconds(1)) return;
  RefreshWindow();
}

bool RunAverages::BelongsToPresentArea() const {
  return state_.Started && SameRibs(state_.Contour, w_.model().BodyRibs);
}

AveragingResults RunAverages::Results() const {
  if (!BelongsToPresentArea()) return {};
  AveragingResults r = SummariseAveraging(state_, w_.model());
  if (markers->HasResults()) r.Tracers = markers->Results();
  return r;
}

void RunAverages::RefreshWindow() {
  frmAveragedFlow->ShowResults(Results(), w_.model());
  shownSamples_ = state_.GridSamples;
  shownAt_ = std::chrono::steady_clock::now();
}

bool RunAverages::SaveTo(const QString& path) {
  const AveragingResults r = Results();
  if (!r.HasAverages) {
    ShowMessage(&w_, NothingToSaveText());
    return false;
  }
  std::string error;
  if (!SaveAveragesJson(r, path.toStdString(), error)) {
    ShowError(&w_, Q(error));
    return false;
  }
  return true;
}

void RunAverages::miSaveAveragesClick() {
  if (!Results().HasAverages) {
    ShowMessage(&w_, NothingToSaveText());
    return;
  }
  QFileDialog dialog(&w_, QStringLiteral("Сохранить средние"), QStringLiteral("."),
                     QStringLiteral("Средние (*.json)"));
  dialog.setObjectName(QStringLiteral("SaveAveragesDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("json"));
  dialog.selectFile(QStringLiteral("averages.json"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    SaveTo(dialog.selectedFiles().front());
}

void RunAverages::miAveragedFlowClick() {
  // Not modal (a run goes on while it is open, and Stop works): it follows
  // the session's averages from now on, also after a file was shown.
  RefreshWindow();
  if (!placed_) PlaceBeside();
  frmAveragedFlow->show();
  frmAveragedFlow->raise();
  frmAveragedFlow->activateWindow();
}

void RunAverages::PlaceBeside() {
  // The first time beside the main window, clear of its run controls (the
  // left column with Stop); afterwards where the user left it, which a
  // hidden window keeps.
  placed_ = true;
  const QScreen* screen = w_.screen();
  if (!screen) return;
  const QRect avail = screen->availableGeometry();
  const QRect main = w_.frameGeometry();
  QSize size = frmAveragedFlow->size().boundedTo(avail.size());
  const int controls = w_.gbSimulation->mapTo(&w_, QPoint(w_.gbSimulation->width(), 0)).x() + main.x() + 16;
  int x = main.right() + 1;                               // beside, where the screen has room
  if (x + size.width() > avail.right()) x = std::max(controls, avail.right() + 1 - size.width());
  if (x + size.width() > avail.right() + 1) size.setWidth(avail.right() + 1 - x);  // narrower rather than over Stop
  frmAveragedFlow->resize(size);
  frmAveragedFlow->move(x, std::max(avail.top(), main.top()));
}

void RunAverages::miLoadAveragesClick() {
  // The window's own button, reached from the menu: the file is shown in the
  // open window (which then no longer follows the run).
  if (!frmAveragedFlow->isVisible()) {
    RefreshWindow();
    frmAveragedFlow->show();
  }
  frmAveragedFlow->raise();
  frmAveragedFlow->btnLoadClick();
}

}  // namespace mdv
