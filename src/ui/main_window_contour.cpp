// A hood given by its contour file as the window's area ("Параметры →
// Контур из файла…"), and the inlet profiled along the vortex zone of the
// averaged flow ("Информация → Профилировать по вихревой зоне"). A contour
// area runs on the refined model only; the area dialog's OK brings the
// parametric hood back.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <cmath>
#include <string>
#include <vector>

#include "core/averages/averaging.h"
#include "core/averages/separation_line.h"
#include "core/base/numfmt.h"
#include "core/model/area.h"
#include "core/model/contour_area.h"
#include "core/model/contour_file.h"
#include "core/model/contour_validation.h"
#include "core/model/refined_settings.h"
#include "ui/area_params.h"
#include "ui/averaged_flow.h"
#include "ui/dialog_messages.h"
#include "ui/elided_label.h"
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/model_toggle.h"

namespace mdv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The contour's own name, else its file's.
QString ContourTitle(const Contour& c, const QString& fileName) {
  return c.Name.empty() ? fileName : Q(c.Name);
}

// Asks for a contour file to open or to save (*.toml); empty when cancelled.
QString AskContourFile(QWidget* parent, const char* name, const QString& title, QFileDialog::AcceptMode mode,
                       const QString& suggested = {}) {
  QFileDialog d(parent, title, QStringLiteral("."), QStringLiteral("Файлы контуров (*.toml)"));
  d.setObjectName(QString::fromLatin1(name));
  d.setOption(QFileDialog::DontUseNativeDialog);
  d.setAcceptMode(mode);
  d.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  d.setDefaultSuffix(QStringLiteral("toml"));
  if (!suggested.isEmpty()) d.selectFile(suggested);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
  return d.selectedFiles().front();
}

}  // namespace

void TfrmMain::BuildContourMenu() {
  QMenu* params = menuBar()->findChild<QMenu*>(QStringLiteral("mnParameters"));
  miContourArea = new QAction(QStringLiteral("Контур из файла…"), this);
  miContourArea->setObjectName(QStringLiteral("miContourArea"));
  if (params) params->insertAction(miPulsationParams, miContourArea);  // beside "Конфигурация области"

  QMenu* info = menuBar()->findChild<QMenu*>(QStringLiteral("mnInformation"));
  miProfileContour = new QAction(QStringLiteral("Профилировать по вихревой зоне"), this);
  miProfileContour->setObjectName(QStringLiteral("miProfileContour"));
  if (info) {
    info->addAction(miProfileContour);  // after "Осреднённое течение"
    connect(info, &QMenu::aboutToShow, this, &TfrmMain::UpdateProfileAction);
  }

  lbContourArea = new ElidedLabel(statusBar());
  lbContourArea->setObjectName(QStringLiteral("lbContourArea"));
  statusBar()->addPermanentWidget(lbContourArea, 1);
  lbContourArea->setVisible(false);

  connect(miContourArea, &QAction::triggered, this, &TfrmMain::miContourAreaClick);
  connect(miProfileContour, &QAction::triggered, this, &TfrmMain::miProfileContourClick);
  UpdateProfileAction();
}

void TfrmMain::miContourAreaClick() {
  if (RefuseWhileRunning()) return;
  const QString file =
      AskContourFile(this, "OpenContourDialog", QStringLiteral("Контур из файла"), QFileDialog::AcceptOpen);
  if (!file.isEmpty()) LoadContourAreaFrom(file);
}

bool TfrmMain::LoadContourAreaFrom(const QString& fileName) {
  if (RefuseWhileRunning()) return false;
  Contour c;
  std::string error;
  if (!ReadContourFile(fileName.toStdString(), c, error)) {
    ShowError(this, Q(error));
    return false;
  }
  if (const std::string fault = ValidateContour(c); !fault.empty()) {
    ShowMessage(this, QStringLiteral("Контур «%1» не годится для расчёта: %2")
                          .arg(QFileInfo(fileName).fileName(), Q(fault)));
    return false;
  }
  // The same warning as the area dialog's, when there is a flow to lose.
  if (model_.FreeVortexCount > 0 && !AskYesNo(this, TfrmAreaParams::ConfirmText())) return false;
  return UseContourArea(c, fileName);
}

bool TfrmMain::UseContourArea(const Contour& c, const QString& fileName) {
  if (RefuseWhileRunning()) return false;
  // The contour sets the model's B, L, LL, PL, Px, speeds and h: the
  // parametric hood is kept for the area dialog.
  if (!model_.ContourArea) parametricArea_ = AreaParametersOf(model_);
  model_.HoodContour = c;
  model_.ContourArea = true;
  model_.FreeVortexCount = 0;
  model_.Time = 0;
  contourFile_ = QFileInfo(fileName).fileName();
  lbTime->setText(QStringLiteral("Прошло времени: "));
  lbVortexCount->setText(QStringLiteral("Свободных вихрей: "));
  BuildArea(model_, *this);
  // Switching the refined model on gives the run fields its ceiling and
  // step (the toggle's Switched); already on, the step follows the new h
  // and speeds.
  const bool wasRefined = model_.Flow == FlowModel::Refined;
  ShowAreaKind();
  if (wasRefined) edDt->setText(Q(FormatGeneral(CourantStep(model_, RefinedCourant))));
  ResetView();
  btnDrawClick();
  btnContinue->setEnabled(false);
  return true;
}

void TfrmMain::ShowAreaKind() {
  const bool contour = model_.ContourArea;
  if (modelToggle_) modelToggle_->SetContourLock(contour);
  if (!contour) {
    setWindowTitle(Caption());
    lbContourArea->clear();
    lbContourArea->setToolTip(QString());
    lbContourArea->setVisible(false);
    return;
  }
  const QString name = ContourTitle(model_.HoodContour, contourFile_);
  // "МДВ - <the hood> - Версия …": the contour takes the hood's place.
  setWindowTitle(QStringLiteral("МДВ - Контур «%1» - %2").arg(name, Caption().section(QStringLiteral(" - "), -1)));
  lbContourArea->setText(QStringLiteral("Контур: ") + name);
  lbContourArea->setToolTip(contourFile_.isEmpty() ? lbContourArea->text()
                                                   : lbContourArea->text() + QStringLiteral(" (") + contourFile_ +
                                                         QStringLiteral(")"));
  lbContourArea->setVisible(true);
}

// ---- the profiled inlet ----

AveragingResults TfrmMain::ProfileSource() const {
  if (averages && averages->frmAveragedFlow->ShowsFile() && averages->frmAveragedFlow->HasData())
    return averages->frmAveragedFlow->Results();
  return averages ? averages->Results() : AveragingResults{};
}

void TfrmMain::UpdateProfileAction() {
  if (!averages) return;
  // A cheap test for the menu: a file shown with its averages, or grid
  // samples of the present area; the command itself looks closer.
  const TfrmAveragedFlow* shown = averages->frmAveragedFlow;
  const bool fromFile = shown->ShowsFile() && shown->HasData() && shown->Results().HasAverages;
  const bool session = averages->BelongsToPresentArea() && averages->State().GridSamples > 0;
  miProfileContour->setEnabled(fromFile || session);
}

bool TfrmMain::ProfileFromAverages(const AveragingResults& r, Contour& out, std::string& error) {
  if (!r.HasAverages) {
    error = "Средних пока нет: профилировать можно по осреднённому течению установившегося расчёта.";
    return false;
  }
  if (r.AreaContour.empty()) {
    error = "В средних нет области расчёта (файл записан более ранней версией программы).";
    return false;
  }
  Contour c;
  if (!ReadContourText(r.AreaContour, c, error)) {
    error = "Область расчёта средних: " + error;
    return false;
  }
  const std::vector<int> corners = SheddingVertices(c);
  if (corners.empty()) {
    error = "У входа нет острой кромки: профилировать нечего.";
    return false;
  }
  // The mouth: the last corner that sheds, where the flow enters the channel.
  const int corner = corners.back();
  const SeparationLine line = MeanSeparationLine(r.Contraction, c, ContourVertex(c, corner));
  if (!ProfiledContour(c, corner, line, c.Spacing / 2, out, error)) return false;
  if (const std::string fault = ValidateContour(out); !fault.empty()) {
    error = "Профилированный контур не годится для расчёта: " + fault;
    return false;
  }
  return true;
}

void TfrmMain::miProfileContourClick() {
  const AveragingResults r = ProfileSource();
  Contour profiled;
  std::string error;
  if (!ProfileFromAverages(r, profiled, error)) {
    ShowMessage(this, Q(error));
    return;
  }
  const QString file = AskContourFile(this, "SaveContourDialog", QStringLiteral("Сохранить профилированный контур"),
                                      QFileDialog::AcceptSave, QStringLiteral("profiled.toml"));
  if (file.isEmpty()) return;
  if (!WriteContourFile(file.toStdString(), profiled, error)) {
    ShowError(this, Q(error));
    return;
  }
  const bool zetaKnown = r.Contraction.HasVenaContracta && std::isfinite(r.Contraction.ZetaM);
  const QString zeta = zetaKnown ? Q(FormatFixed(r.Contraction.ZetaM, 6, 3)) : QStringLiteral("не известен");
  const QString text =
      QStringLiteral("Профилированный контур записан: %1 (%2 отрезков стенки).\r"
                     "ζ входа до профилирования: %3. ζ профилированного входа покажет расчёт "
                     "нового контура (уточнённой моделью, до установления режима).\r\r"
                     "Загрузить профилированный контур как область расчёта?")
          .arg(QFileInfo(file).fileName())
          .arg(profiled.Wall.size())
          .arg(zeta);
  if (!AskYesNo(this, text)) return;
  UseContourArea(profiled, file);
}

}  // namespace mdv
