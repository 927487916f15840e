// The main window's run control: the run fields, "Начать" (btnStartClick),
// "Продолжить" (btnContinueClick), "Остановить" (btnStopClick), the time and
// vortex-count labels, and the window's part as the run's observer. A run
// executes inside the Start or Continue handler; StepDone services the
// pending events, so Stop and every other command are handled between steps.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <exception>
#include <new>

#include "core/base/numfmt.h"
#include "core/flow/run.h"
#include "core/model/area.h"
#include "ui/dialog_messages.h"
#include <QStatusBar>
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/picture.h"
#include "ui/model_toggle.h"
#include "ui/precision_toggle.h"

namespace mdv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

}  // namespace

void TfrmMain::SetRunButtons(bool start, bool cont, bool stop) {
  // A focused widget that is disabled hands the focus on along the tab order,
  // which leads from the run buttons into the stream line's X field with its
  // text selected, ready to be overwritten. The buttons that become enabled
  // are enabled first, and the focus goes to the first of them.
  QPushButton* const buttons[] = {btnStart, btnContinue, btnStop};
  const bool enabled[] = {start, cont, stop};
  for (int i = 0; i < 3; ++i) {
    if (enabled[i]) buttons[i]->setEnabled(true);
  }
  for (int i = 0; i < 3; ++i) {
    if (enabled[i]) continue;
    if (focusWidget() == buttons[i]) {
      for (int j = 0; j < 3; ++j) {
        if (enabled[j]) {
          buttons[j]->setFocus(Qt::OtherFocusReason);
          break;
        }
      }
    }
    buttons[i]->setEnabled(false);
  }
  if (precision_) precision_->SetRunning(stop);  // a run keeps its arithmetic
  if (modelToggle_) modelToggle_->SetRunning(stop);  // and its model
}

void TfrmMain::SetFreshState() { SetRunButtons(true, false, false); }

void TfrmMain::ShowRunLabels() {
  lbTime->setText(QStringLiteral("Прошло времени: ") + Q(FormatFixed(model_.Time, 6, 3)) +
                  QStringLiteral(" сек."));
  lbVortexCount->setText(QStringLiteral("Свободных вихрей: ") +
                         QString::number(model_.FreeVortexCount));
}

bool TfrmMain::RefuseWhileRunning() {
  if (!running_) return false;
  ShowMessage(this, QStringLiteral(
                        "Идет моделирование. Остановите его кнопкой \"Остановить\" и повторите "
                        "команду."));
  return true;
}

bool TfrmMain::ReadRunFields(RunFields& f) {
  // All three are read before anything changes, so a bad field leaves the
  // window exactly as it was.
  const std::optional<Real> dt = ParseReal(S(edDt->text()));
  if (!dt) {
    ShowError(this, Q(InvalidFloatMessage(S(edDt->text()))));
    return false;
  }
  const std::optional<Real> maxTime = ParseReal(S(edMaxTime->text()));
  if (!maxTime) {
    ShowError(this, Q(InvalidFloatMessage(S(edMaxTime->text()))));
    return false;
  }
  const std::optional<int32_t> maxFree = ParseInt(S(edMaxFreeVortex->text()));
  if (!maxFree) {
    ShowError(this, Q(InvalidIntMessage(S(edMaxFreeVortex->text()))));
    return false;
  }
  // A step that does not advance the time would never let a run end.
  if (!(*dt > 0) || !std::isfinite(*dt)) {
    ShowMessage(this, QStringLiteral("Шаг по времени должен быть больше нуля."));
    return false;
  }
  if (!std::isfinite(*maxTime)) {
    ShowError(this, Q(InvalidFloatMessage(S(edMaxTime->text()))));
    return false;
  }
  if (*maxFree < 0) {
    ShowMessage(this,
                QStringLiteral("Максимальное количество свободных вихрей не может быть "
                               "отрицательным."));
    return false;
  }
  if (averages != nullptr && !averages->ReadAverageFrom()) return false;
  f.dt = *dt;
  f.maxTime = *maxTime;
  f.maxFree = *maxFree;
  return true;
}

bool TfrmMain::RefuseRunWithoutStep(Real startTime, Real endTime) {
  if (!RunMakesNoStep(startTime, endTime)) return false;
  // Nothing changes: no redraw, no record file replaced by an empty one.
  ShowMessage(this, QString::fromUtf8(EndTimeReachedMessage));
  return true;
}

void TfrmMain::btnStartClick() {
  // While a stopped run winds down (the click arrived in the same event pass
  // as Stop) a second run must not start on top of it.
  if (running_) return;
  RunFields f;
  if (!ReadRunFields(f)) return;
  if (RefuseRunWithoutStep(0, f.maxTime)) return;
  ApplyBreakPntParams();
  if (!ApplyPulsateParams()) return;
  btnDrawClick();
  averages->BeginFresh();
  Run(f, 0, 0);
}

void TfrmMain::btnContinueClick() {
  if (running_) return;
  RunFields f;
  if (!ReadRunFields(f)) return;
  if (RefuseRunWithoutStep(model_.Time, f.maxTime)) return;
  ApplyBreakPntParams();
  if (!ApplyPulsateParams()) return;
  btnDrawClick();
  // The newest free vortices are dropped when the limit became smaller.
  if (f.maxFree < model_.FreeVortexCount) model_.FreeVortexCount = f.maxFree;
  Run(f, model_.FreeVortexCount, model_.Time);
}

void TfrmMain::Run(const RunFields& f, int32_t freeCount, Real startTime) {
  // The run buttons pass the focus among themselves; once the run is over it
  // goes back to where it was, unless the user has put it elsewhere meanwhile.
  const QPointer<QWidget> focused = focusWidget();
  SetRunButtons(false, false, true);
  running_ = true;
  pbRunProgress->setValue(0);
  pbRunProgress->show();
  RunSummary summary;
  QString failure;
  try {
    summary = averages->Run(f.maxFree, freeCount, startTime, f.maxTime, f.dt);
  } catch (const std::bad_alloc&) {
    failure = QStringLiteral("Недостаточно памяти для моделирования с заданным количеством "
                             "свободных вихрей.");
  } catch (const std::exception& e) {
    failure = QStringLiteral("Моделирование прервано: ") + QString::fromLocal8Bit(e.what());
  }
  running_ = false;
  pbRunProgress->hide();
  // The mark stays until the next run: its averages depend on the limit.
  if (modelToggle_) modelToggle_->ShowFreeLimit(f.maxFree, summary.FreeLimitTime);
  // The limit's text whole, with the time it was reached: the verdict and the
  // markers' counts beside it shorten instead.
  if (auto* limit = statusBar()->findChild<QLabel*>(QStringLiteral("lbFreeLimit")))
    limit->setMinimumWidth(limit->isVisibleTo(this) ? limit->fontMetrics().horizontalAdvance(limit->text()) + 8 : 0);
  SetRunButtons(true, true, false);
  QWidget* now = focusWidget();
  if (focused && focused->isEnabled() && (now == btnStart || now == btnContinue)) {
    focused->setFocus(Qt::OtherFocusReason);
  }
  // Each step's free-vortex layer erased the axes and stream lines inside the
  // flow region; the finished picture has them again.
  if (!closeAfterRun_) btnDrawClick();
  if (failure.isEmpty() && !summary.Message.empty()) failure = Q(summary.Message);
  if (!failure.isEmpty() && !closeAfterRun_) ShowError(this, failure);
  if (closeAfterRun_) {
    closeAfterRun_ = false;
    close();
  }
}

void TfrmMain::btnStopClick() {
  model_.StopRequested = true;
  SetRunButtons(true, true, false);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (running_) {
    // The run is on the call stack below this handler: stop it, and close
    // once it has returned.
    model_.StopRequested = true;
    closeAfterRun_ = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

// ---- observer ----

void TfrmMain::StatusText(const std::string& text) { lbStatus->setText(Q(text)); }

void TfrmMain::SetupProgress(SetupStage stage, int32_t done, int32_t total) {
  const auto now = std::chrono::steady_clock::now();
  // A report behind the last one begins a new set-up (the last ended without a step).
  const bool anew = stage < setupStage_ || (stage == setupStage_ && done < setupDone_);
  if (stage != setupStage_) setupShownPercent_ = -1;  // the text changes with the stage
  setupStage_ = stage;
  setupDone_ = done;
  if (!setupStart_ || anew) {
    setupStart_ = now;
    setupShownPercent_ = -1;
  }
  if (now - *setupStart_ < std::chrono::seconds(1) || total <= 0) return;
  // The elimination's step i costs about i·(N − i): its share of the work is not done / total.
  const double f = static_cast<double>(done) / total;
  const int percent = static_cast<int>(100 * (stage == SetupStage::Matrix ? f : f * f * (3 - 2 * f)));
  if (percent == setupShownPercent_) return;
  setupShownPercent_ = percent;
  setupTextShown_ = true;
  // No events are run during the set-up: the label is painted at once.
  lbStatus->setText(QStringLiteral("Подготовка расчета: %1, %2 %")
                        .arg(stage == SetupStage::Matrix ? QStringLiteral("матрица влияния")
                                                         : QStringLiteral("исключение Гаусса"))
                        .arg(percent));
  lbStatus->repaint();
}

void TfrmMain::StepDone(const Model& m) {
  if (setupStart_) {
    // The set-up is over; the status shows the attached count again.
    if (setupTextShown_) lbStatus->setText(Q(AttachedCountText(m)));
    setupTextShown_ = false;
    setupStart_.reset();
    setupShownPercent_ = -1;
    setupDone_ = 0;
    setupStage_ = SetupStage::Matrix;
  }
  picture_.DrawFreeVortices();
  picture_.DrawMarkers();
  pbPicture->repaint();
  ShowRunLabels();
  lbVortexCount->repaint();
  lbTime->repaint();
  if (m.MaxTime > 0) {
    const Real share = std::clamp<Real>(m.Time / m.MaxTime, 0, 1);
    pbRunProgress->setValue(static_cast<int>(share * 1000));
  }
}

void TfrmMain::PumpEvents() { QCoreApplication::processEvents(); }

void TfrmMain::TracePoint(const TRealPoint& p, bool first) {
  if (first) {
    picture_.MoveTo(p);
  } else {
    picture_.LineTo(p);
    pbPicture->repaint();
  }
}

}  // namespace mdv
