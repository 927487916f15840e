#include "ui/run_markers.h"

#include <QCheckBox>
#include <QStatusBar>
#include <QToolBar>

#include "core/averages/tracer_status.h"
#include "ui/elided_label.h"

#include "ui/main_window.h"
#include "ui/picture.h"

namespace mdv {

RunMarkers::RunMarkers(TfrmMain& w, const AveragingState& averages)
    : QObject(&w), w_(w), averages_(averages) {
  // On the picture's tool bar after the zoom: the picture group's row has no
  // room for a fifth item in a narrow window.
  cbMarkers = new QCheckBox(QStringLiteral("Маркеры"), w.tbZoom);
  cbMarkers->setObjectName(QStringLiteral("cbMarkers"));
  cbMarkers->setToolTip(QStringLiteral(
      "Во время расчёта выпускать маркеры из узлов сетки с шагом 0,1 м перед отсосом раз в "
      "0,25 с и показывать их цветом по возрасту (тёмные — новые, светлые — старше, до 10 с). "
      "Маркеры, выпущенные с времени «Осреднять с» (пусто — после разгона), дают долю захвата "
      "в «Осреднённом течении»."));
  w.tbZoom->addSeparator();
  w.tbZoom->addWidget(cbMarkers);
  connect(cbMarkers, &QCheckBox::toggled, this, &RunMarkers::Toggle);
  lbMarkers = new ElidedLabel(w.statusBar());
  lbMarkers->setObjectName(QStringLiteral("lbMarkers"));
  lbMarkers->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  w.statusBar()->addWidget(lbMarkers, 2);
  lbMarkers->setVisible(false);
}

void RunMarkers::ShowStatus(double now) {
  if (!cbMarkers->isChecked()) {
    lbMarkers->setVisible(false);
    return;
  }
  int64_t shown = 0;
  for (const Marker& mk : tracers_.Markers) shown += mk.Counted ? 0 : 1;
  const QString text = tracers_.Started
                           ? QString::fromStdString(MarkerStatusText(SummariseTracers(tracers_), now, shown))
                           : QStringLiteral("Маркеры: выпуск начнётся со следующего шага расчёта");
  lbMarkers->setText(text);
  lbMarkers->setToolTip(text);
  lbMarkers->setVisible(true);
}

void RunMarkers::BeginFresh() {
  tracers_ = TracerState{};
  restart_ = true;
  if (cbMarkers->isChecked()) w_.picture().SetMarkers(&tracers_.Markers, tracers_.Settings.Horizon);
}

void RunMarkers::Toggle(bool on) {
  if (on) {
    restart_ = true;
    w_.picture().SetMarkers(&tracers_.Markers, tracers_.Settings.Horizon);
  } else {
    tracers_.Markers.clear();
    w_.picture().SetMarkers(nullptr, 0);
  }
  ShowStatus(static_cast<double>(w_.model().Time));
  // Between two steps of a run as well as after it: the picture at once.
  w_.btnDrawClick();
}

RunMarkers::Relay::Relay(RunMarkers& markers, Observer& inner)
    : ObserverRelay(inner), markers_(markers), feed_(markers.tracers_, markers.averages_, inner) {}

void RunMarkers::Relay::StepDone(const Model& m) {
  RunMarkers& k = markers_;
  if (!k.cbMarkers->isChecked()) {
    inner_.StepDone(m);
    return;
  }
  if (k.restart_) {
    TracerSettings s;
    s.GridSpacing = WindowMarkerGridSpacing;
    s.ReleaseFrom = k.averages_.Settings.AverageFrom;
    s.ShowFrom = m.Time;
    k.tracers_.Settings = s;
    k.tracers_.Started = false;  // laid out at this step, on the averages' grid
    k.restart_ = false;
  }
  feed_.StepDone(m);  // feeds the markers, then the window draws them
  // The counts at most twice a second: the summary walks every source.
  const auto now = std::chrono::steady_clock::now();
  if (now - k.shownAt_ >= std::chrono::milliseconds(500)) {
    k.ShowStatus(static_cast<double>(m.Time));
    k.shownAt_ = now;
  }
}

}  // namespace mdv
