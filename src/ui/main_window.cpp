// The main window's construction (menu, the left column of controls, the
// status bar), the stream lines, the speed at a point, the small reports and
// the vortex files. The run control is in main_window_run.cpp, the picture
// and its interaction in main_window_picture.cpp, the commands that open the
// other windows in main_window_dialogs.cpp.
#include "ui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>

#include "core/model/area.h"
#include "core/base/numfmt.h"
#include "core/analysis/reports.h"
#include "core/base/safe_file.h"
#include "core/analysis/streamlines.h"
#include "core/model/vortex_file.h"
#include "ui/about_box.h"
#include "ui/dialog_messages.h"
#include "ui/main_window_averages.h"
#include "ui/picture.h"
#include "ui/model_toggle.h"
#include "ui/precision_toggle.h"
#include "ui/study_view.h"
#include "ui/user_guide.h"

namespace mdv {

namespace {

// The window's design: client 938 x 498 below the menu bar, of which the
// status bar takes the bottom 19 rows; the picture area is anchored to the
// right and bottom edges by the margins below.
constexpr int kClientWidth = 938;
constexpr int kClientHeight = 498;
constexpr int kStatusHeight = 19;
constexpr int kMinClientWidth = 792;  // outer 800 with the 4-pixel borders
// Below the design's least client size the client area scrolls, so that on a
// small or magnified screen (640 x 400 logical pixels for 1280 x 800 at a
// scale factor of 2) the window may be as small as the screen, down to this,
// with every control reachable.
constexpr int kMinWindowWidth = 400;
constexpr int kMinWindowHeight = 300;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The central area tells the window when its size changed, so that the
// picture area follows the window's edges.
class CentralArea : public QWidget {
 public:
  explicit CentralArea(std::function<void()> onResize) : onResize_(std::move(onResize)) {}

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (onResize_) onResize_();
  }

 private:
  std::function<void()> onResize_;
};

QLabel* NewLabel(const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  return l;
}

QLineEdit* NewEdit(const char* name, const QString& text, QWidget* parent, int width = 0) {
  auto* e = new QLineEdit(text, parent);
  e->setObjectName(QString::fromLatin1(name));
  if (width > 0) e->setFixedWidth(width);
  return e;
}

QPushButton* NewButton(const char* name, const QString& text, QWidget* parent) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

void Compact(QLayout* layout) {
  layout->setContentsMargins(5, 2, 5, 4);
  layout->setSpacing(3);
}

}  // namespace

// ---- TfrmMain ----

QString TfrmMain::Caption() {
  return QStringLiteral("МДВ - Круглый отсос-раструб с притоком над плоскостью - Версия 1.1.0");
}

TfrmMain::TfrmMain(Model& model, Picture& picture, QWidget* parent)
    : QMainWindow(parent), model_(model), picture_(picture) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(Caption());
  QFont font(QStringLiteral("DejaVu Sans"));
  // The left column is 240 pixels wide; 10-pixel DejaVu Sans fits every
  // caption there in full.
  font.setPixelSize(10);
  setFont(font);

  BuildMenu();
  new UserGuide(*this);  // "Руководство пользователя", F1
  BuildControls();
  averages = new RunAverages(*this);
  BuildContourMenu();

  const int menuHeight = menuBar()->sizeHint().height();
  setMinimumSize(kMinClientWidth, kClientHeight + menuHeight);
  resize(kClientWidth, kClientHeight + menuHeight);
  // The picture area at the design size, so that the first picture has the
  // paint box's design height before the window is ever shown.
  central_->resize(kClientWidth, kClientHeight - kStatusHeight);
  LayoutPictureArea();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // Centred on the screen; on a screen smaller than the window (a small
    // display, a scale factor of 2) its menu and top-left corner stay on the
    // screen, never above or left of it. The design size stays until the
    // start-up calls StartOnScreen.
    const QRect avail = screen->availableGeometry();
    const QPoint centred = avail.center() - QPoint(width() / 2, height() / 2);
    move(std::max(avail.left(), centred.x()), std::max(avail.top(), centred.y()));
  }

  // Start-up: the initial view, the area from the default parameters, every
  // separation point shedding in every step, the first picture.
  ResetView();
  BuildArea(model_, *this);
  SetSheddingIntervals(model_, 0, 0, 0);
  btnDrawClick();
  Dragging_ = false;
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::StartOnScreen(const QRect& available) {
  const int menuHeight = menuBar()->sizeHint().height();
  const QSize design(kClientWidth, kClientHeight + menuHeight);
  // The frame a window manager adds, once known (none before the first show).
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize room = available.size() - frame;
  if (design.width() <= room.width() && design.height() <= room.height()) {
    resize(design);
    // move() places the frame.
    const QSize outer = design + frame;
    move(available.center() - QPoint(outer.width() / 2, outer.height() / 2));
    return;
  }
  // The least size gives way to the screen, never below a usable window.
  setMinimumSize(minimumSize().boundedTo(room).expandedTo(QSize(kMinWindowWidth, kMinWindowHeight)));
  resize(design.boundedTo(room).expandedTo(minimumSize()));
  move(available.topLeft());
}

void TfrmMain::BuildMenu() {
  QMenuBar* bar = menuBar();
  auto add = [this](QMenu* menu, const char* name, const QString& text) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };

  QMenu* data = bar->addMenu(QStringLiteral("Данные"));
  data->setObjectName(QStringLiteral("mnData"));
  miLoad = add(data, "miLoad", QStringLiteral("Загрузить"));
  miSave = add(data, "miSave", QStringLiteral("Сохранить"));
  miSavePicture = add(data, "miSavePicture", QStringLiteral("Сохранить рисунок…"));
  QAction* miOpenStudy = add(data, "miOpenStudy", QStringLiteral("Открыть исследование…"));
  connect(miOpenStudy, &QAction::triggered, this, [this] { OpenStudyWindow(this); });
  data->addSeparator();
  miInformation = add(data, "miInformation", QStringLiteral("Информация"));
  miTest = add(data, "miTest", QStringLiteral("Test"));
  data->addSeparator();
  miExit = add(data, "miExit", QStringLiteral("Выход"));

  QMenu* info = bar->addMenu(QStringLiteral("Информация"));
  info->setObjectName(QStringLiteral("mnInformation"));
  miPulsationCharts = add(info, "miPulsationCharts", QStringLiteral("Графики пульсаций"));
  miFreeVortexGraph = add(info, "miFreeVortexGraph", QStringLiteral("График оторвавшегося вихря"));
  miFreeVortexGraph->setVisible(false);
  miVortexArea = add(info, "miVortexArea", QStringLiteral("Параметры вихревой области"));

  QMenu* params = bar->addMenu(QStringLiteral("Параметры"));
  params->setObjectName(QStringLiteral("mnParameters"));
  miAreaConfig = add(params, "miAreaConfig", QStringLiteral("Конфигурация области"));
  miPulsationParams = add(params, "miPulsationParams", QStringLiteral("Пульсации"));
  miBreakPntParams = add(params, "miBreakPntParams", QStringLiteral("Оторвавшийся вихрь"));
  miBreakPntParams->setVisible(false);
  miSeparationPoints = add(params, "miSeparationPoints", QStringLiteral("Точки отрыва"));
  precision_ = new PrecisionToggle(params, statusBar(), model_, this);
  modelToggle_ = new ModelToggle(params, statusBar(), model_, this);

  QMenu* scale = bar->addMenu(QStringLiteral("Масштаб"));
  scale->setObjectName(QStringLiteral("mnScale"));
  miZoomOut = add(scale, "miZoomOut", QStringLiteral("Уменьшить"));
  miZoomIn = add(scale, "miZoomIn", QStringLiteral("Увеличить"));
  miZoomNo = add(scale, "miZoomNo", QStringLiteral("Исходный"));

  QMenu* help = bar->addMenu(QStringLiteral("Справка"));
  help->setObjectName(QStringLiteral("mnHelp"));
  miAbout = add(help, "miAbout", QStringLiteral("О программе"));

  connect(miLoad, &QAction::triggered, this, &TfrmMain::miLoadClick);
  connect(miSave, &QAction::triggered, this, &TfrmMain::miSaveClick);
  connect(miSavePicture, &QAction::triggered, this, &TfrmMain::miSavePictureClick);
  connect(miInformation, &QAction::triggered, this, &TfrmMain::miInformationClick);
  connect(miTest, &QAction::triggered, this, &TfrmMain::miTestClick);
  connect(miExit, &QAction::triggered, this, &QWidget::close);
  connect(miPulsationCharts, &QAction::triggered, this, &TfrmMain::miPulsationChartsClick);
  connect(miFreeVortexGraph, &QAction::triggered, this, &TfrmMain::miFreeVortexGraphClick);
  connect(miVortexArea, &QAction::triggered, this, &TfrmMain::miVortexAreaClick);
  connect(miAreaConfig, &QAction::triggered, this, &TfrmMain::miAreaConfigClick);
  connect(miPulsationParams, &QAction::triggered, this, &TfrmMain::miPulsationParamsClick);
  connect(miBreakPntParams, &QAction::triggered, this, &TfrmMain::miBreakPntParamsClick);
  connect(miSeparationPoints, &QAction::triggered, this, &TfrmMain::miSeparationPointsClick);
  connect(miZoomOut, &QAction::triggered, this, &TfrmMain::miZoomOutClick);
  connect(miZoomIn, &QAction::triggered, this, &TfrmMain::miZoomInClick);
  connect(miZoomNo, &QAction::triggered, this, &TfrmMain::miZoomNoClick);
  connect(miAbout, &QAction::triggered, this, &TfrmMain::miAboutClick);

  // The vortex-file dialogs, created once; they keep the folder last used.
  OpenDialog1 = new QFileDialog(this, QStringLiteral("Загрузить данные"), QStringLiteral("."));
  OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
  OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
  // The last parenthesised group holds the patterns; with the details hidden
  // the list shows the description, "(*.vrt,*.evt)" included.
  OpenDialog1->setOption(QFileDialog::HideNameFilterDetails);
  OpenDialog1->setNameFilter(QStringLiteral("Файлы с вихрями (*.vrt,*.evt) (*.vrt *.evt)"));
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setDefaultSuffix(QStringLiteral("evt"));

  SaveDialog1 = new QFileDialog(this, QStringLiteral("Сохранить данные"), QStringLiteral("."));
  SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
  SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
  SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setNameFilters({QStringLiteral("Файлы с вихрями (*.vrt)"),
                               QStringLiteral("Расширенные файлы с вихрями (*.evt)")});
  SaveDialog1->selectNameFilter(QStringLiteral("Расширенные файлы с вихрями (*.evt)"));
  SaveDialog1->setDefaultSuffix(QStringLiteral("evt"));
}

void TfrmMain::BuildControls() {
  central_ = new CentralArea([this] { LayoutPictureArea(); });
  central_->setObjectName(QStringLiteral("centralArea"));
  central_->setMinimumSize(kMinClientWidth, kClientHeight - kStatusHeight);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("clientScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);  // central_ follows the window down to its least size
  scroll_->setWidget(central_);
  setCentralWidget(scroll_);
  QWidget* c = central_;

  // ---- " Параметры движения вихрей:  " ----
  gbVortexMotion = new QGroupBox(QStringLiteral(" Параметры движения вихрей:  "), c);
  gbVortexMotion->setObjectName(QStringLiteral("gbVortexMotion"));
  gbVortexMotion->setGeometry(6, 4, 240, 101);
  {
    auto* v = new QVBoxLayout(gbVortexMotion);
    Compact(v);
    edMaxFreeVortex = NewEdit("edMaxFreeVortex", QStringLiteral("400"), gbVortexMotion, 40);
    edMaxTime = NewEdit("edMaxTime", QStringLiteral("1"), gbVortexMotion, 40);
    edDt = NewEdit("edDt", QStringLiteral("0,005"), gbVortexMotion, 40);
    auto row = [&](const QString& label, QLineEdit* edit, bool seconds) {
      auto* h = new QHBoxLayout;
      h->setSpacing(3);
      h->addWidget(NewLabel(label, gbVortexMotion));
      h->addStretch(1);
      h->addWidget(edit);
      if (seconds) h->addWidget(NewLabel(QStringLiteral("сек."), gbVortexMotion));
      v->addLayout(h);
    };
    row(QStringLiteral("Макс. кол-во свободных вихрей: "), edMaxFreeVortex, false);
    row(QStringLiteral("Макс. время моделирования"), edMaxTime, true);
    row(QStringLiteral("Шаг по времени"), edDt, true);
  }
  // The refined model runs with its own ceiling and step; switching back
  // gives the program's model what the user had set for it.
  connect(modelToggle_, &ModelToggle::Switched, this, [this](bool refined) {
    if (refined) {
      programRunFields_ = {edMaxFreeVortex->text(), edDt->text()};
      edMaxFreeVortex->setText(QString::number(RefinedDefaultMaxFree));
      edDt->setText(Q(FormatGeneral(CourantStep(model_, RefinedCourant))));
    } else if (!programRunFields_.first.isEmpty()) {
      edMaxFreeVortex->setText(programRunFields_.first);
      edDt->setText(programRunFields_.second);
    }
  });

  // ---- " Моделирование: " ----
  gbSimulation = new QGroupBox(QStringLiteral(" Моделирование: "), c);
  gbSimulation->setObjectName(QStringLiteral("gbSimulation"));
  gbSimulation->setGeometry(6, 107, 240, 86);
  {
    auto* v = new QVBoxLayout(gbSimulation);
    Compact(v);
    auto* row = new QHBoxLayout;
    row->setSpacing(3);
    btnStart = NewButton("btnStart", QStringLiteral("Начать"), gbSimulation);
    btnContinue = NewButton("btnContinue", QStringLiteral("Продолжить"), gbSimulation);
    btnStop = NewButton("btnStop", QStringLiteral("Остановить"), gbSimulation);
    row->addWidget(btnStart);
    row->addWidget(btnContinue);
    row->addWidget(btnStop);
    v->addLayout(row);
    lbTime = NewLabel(QStringLiteral("Прошло времени:"), gbSimulation);
    lbTime->setObjectName(QStringLiteral("lbTime"));
    lbVortexCount = NewLabel(QStringLiteral("Свободных вихрей: "), gbSimulation);
    lbVortexCount->setObjectName(QStringLiteral("lbVortexCount"));
    v->addWidget(lbTime);
    v->addWidget(lbVortexCount);
  }
  SetRunButtons(true, false, false);
  connect(btnStart, &QPushButton::clicked, this, &TfrmMain::btnStartClick);
  connect(btnContinue, &QPushButton::clicked, this, &TfrmMain::btnContinueClick);
  connect(btnStop, &QPushButton::clicked, this, &TfrmMain::btnStopClick);

  // ---- " Построение линии тока: " ----
  gbStreamLine = new QGroupBox(QStringLiteral(" Построение линии тока: "), c);
  gbStreamLine->setObjectName(QStringLiteral("gbStreamLine"));
  gbStreamLine->setGeometry(6, 195, 240, 183);
  {
    auto* g = new QGridLayout(gbStreamLine);
    Compact(g);
    edX = NewEdit("edX", QStringLiteral("0,1"), gbStreamLine, 48);
    edY = NewEdit("edY", QStringLiteral("0,005"), gbStreamLine, 48);
    edStep = NewEdit("edStep", QStringLiteral("0,005"), gbStreamLine, 48);
    edMaxLen = NewEdit("edMaxLen", QStringLiteral("1"), gbStreamLine, 48);
    g->addWidget(NewLabel(QStringLiteral("Координаты начала:"), gbStreamLine), 0, 0, 1, 4);
    auto* xy = new QHBoxLayout;
    xy->setSpacing(3);
    xy->addWidget(NewLabel(QStringLiteral("X ="), gbStreamLine));
    xy->addWidget(edX);
    xy->addSpacing(8);
    xy->addWidget(NewLabel(QStringLiteral("Y ="), gbStreamLine));
    xy->addWidget(edY);
    xy->addStretch(1);
    g->addLayout(xy, 1, 0, 1, 4);
    g->addWidget(NewLabel(QStringLiteral("Шаг построения линии тока:"), gbStreamLine), 2, 0, 1, 2);
    g->addWidget(edStep, 2, 2);
    g->addWidget(NewLabel(QStringLiteral("м"), gbStreamLine), 2, 3);
    g->addWidget(NewLabel(QStringLiteral("Максим. длина линии тока:"), gbStreamLine), 3, 0, 1, 2);
    g->addWidget(edMaxLen, 3, 2);
    g->addWidget(NewLabel(QStringLiteral("м"), gbStreamLine), 3, 3);
    btnTraceStreamLine = NewButton("btnTraceStreamLine", QStringLiteral("Построить линию тока"),
                                   gbStreamLine);
    btnEraseFlowLines = NewButton("btnEraseFlowLines", QStringLiteral("Удалить линии тока"),
                                  gbStreamLine);
    g->addWidget(btnTraceStreamLine, 4, 0, 1, 4);
    g->addWidget(btnEraseFlowLines, 5, 0, 1, 4);
    g->setColumnStretch(1, 1);
  }
  connect(btnTraceStreamLine, &QPushButton::clicked, this, &TfrmMain::btnTraceStreamLineClick);
  connect(btnEraseFlowLines, &QPushButton::clicked, this, &TfrmMain::btnEraseFlowLinesClick);

  // ---- " Скорость воздуха в точке: " ----
  gbPointSpeed = new QGroupBox(QStringLiteral(" Скорость воздуха в точке: "), c);
  gbPointSpeed->setObjectName(QStringLiteral("gbPointSpeed"));
  gbPointSpeed->setGeometry(6, 378, 240, 92);
  {
    auto* v = new QVBoxLayout(gbPointSpeed);
    Compact(v);
    v->addWidget(NewLabel(QStringLiteral("Координаты точки:"), gbPointSpeed));
    edSX = NewEdit("edSX", QStringLiteral("0,0"), gbPointSpeed, 48);
    edSY = NewEdit("edSY", QStringLiteral("0,0"), gbPointSpeed, 48);
    auto* xy = new QHBoxLayout;
    xy->setSpacing(3);
    xy->addWidget(NewLabel(QStringLiteral("X ="), gbPointSpeed));
    xy->addWidget(edSX);
    xy->addSpacing(8);
    xy->addWidget(NewLabel(QStringLiteral("Y ="), gbPointSpeed));
    xy->addWidget(edSY);
    xy->addStretch(1);
    v->addLayout(xy);
    btnSpeed = NewButton("btnSpeed", QStringLiteral("Вычислить скорость"), gbPointSpeed);
    v->addWidget(btnSpeed);
  }
  connect(btnSpeed, &QPushButton::clicked, this, &TfrmMain::btnSpeedClick);

  BuildPictureArea();

  // ---- the status bar: one panel, and the run's progress while it runs ----
  statusBar()->setFixedHeight(kStatusHeight);
  lbStatus = new QLabel(statusBar());
  lbStatus->setObjectName(QStringLiteral("lbStatus"));
  statusBar()->addWidget(lbStatus, 1);
  pbRunProgress = new QProgressBar(statusBar());
  pbRunProgress->setObjectName(QStringLiteral("pbRunProgress"));
  pbRunProgress->setRange(0, 1000);
  pbRunProgress->setTextVisible(false);
  pbRunProgress->setFixedSize(160, 12);
  statusBar()->addPermanentWidget(pbRunProgress);
  pbRunProgress->hide();
}

// ---- stream lines, speed, reports ----

void TfrmMain::btnTraceStreamLineClick() {
  QLineEdit* fields[] = {edX, edY, edStep, edMaxLen};
  double values[4] = {};
  for (int i = 0; i < 4; ++i) {
    const std::optional<Real> v = ParseReal(S(fields[i]->text()));
    if (!v) {
      ShowError(this, Q(InvalidFloatMessage(S(fields[i]->text()))));
      return;
    }
    values[i] = static_cast<double>(*v);
  }
  const StreamLineResult r =
      TraceStreamLine(model_, values[0], values[1], values[2], values[3], *this);
  if (!r.Ok) {
    ShowMessage(this, Q(r.Error));
  } else if (r.EndedAtRest) {
    // The direction of the flow is undefined where the air is at rest (as
    // everywhere before the first run, when no circulation has been solved).
    ShowMessage(this, QStringLiteral("Скорость воздуха в точке линии тока равна нулю: "
                                     "построение линии остановлено."));
  } else if (r.OutOfRange) {
    ShowMessage(this, QStringLiteral("Скорость воздуха в точке линии тока не представима числом двойной "
                                     "точности (значения файла слишком велики): построение линии остановлено."));
  }
}

void TfrmMain::btnEraseFlowLinesClick() {
  EraseStreamLines(model_);
  btnDrawClick();
  pbPicture->repaint();
}

void TfrmMain::btnSpeedClick() {
  const std::string xText = S(edSX->text());
  const std::string yText = S(edSY->text());
  const std::optional<Real> x = ParseReal(xText);
  const std::optional<Real> y = ParseReal(yText);
  QString text;
  if (!x || !y) {
    text = QStringLiteral("Ошибка в параметрах");
  } else {
    try {
      text = Q(SpeedAtPointText(model_, xText, yText, *x, *y));
    } catch (const std::exception&) {
      text = QStringLiteral("Ошибка в параметрах");
    }
  }
  ShowMessage(this, text);
}

void TfrmMain::miInformationClick() { ShowMessage(this, Q(InformationReportText(model_))); }

void TfrmMain::miTestClick() { ShowMessage(this, Q(TestCommandText())); }

void TfrmMain::miSeparationPointsClick() {
  ShowMessage(this, QStringLiteral("Данная функция временно заблокирована"));
}

void TfrmMain::miAboutClick() {
  if (frmAbout) frmAbout->exec();
}

// ---- files ----

void TfrmMain::miLoadClick() {
  if (RefuseWhileRunning()) return;
  if (OpenDialog1->exec() == QDialog::Accepted && !OpenDialog1->selectedFiles().isEmpty()) {
    if (!LoadVortexFileFrom(OpenDialog1->selectedFiles().front())) return;
  }
  btnContinue->setEnabled(true);
}

bool TfrmMain::LoadVortexFileFrom(const QString& fileName) {
  if (RefuseWhileRunning()) return false;
  std::string error;
  const bool wasContour = model_.ContourArea;
  if (!LoadVortexState(model_, S(fileName), error, *this)) {
    ShowError(this, Q(error));
    return false;
  }
  // The state may bring the other kind of area.
  contourFile_ = QFileInfo(fileName).fileName();
  ShowAreaKind();
  if (wasContour || model_.ContourArea) ResetView();
  btnDrawClick();
  ShowRunLabels();
  const int64_t endTime = static_cast<int64_t>(std::trunc(model_.Time)) + 1;  // s
  edMaxTime->setText(QString::number(endTime));
  if (model_.Dt > 0) {
    const Real steps = static_cast<Real>(endTime) / model_.Dt;
    if (steps < 4.0e18L) edMaxFreeVortex->setText(QString::number(std::llrint(steps) * 2));
  }
  edDt->setText(Q(FormatGeneral(model_.Dt)));
  btnContinue->setEnabled(true);
  return true;
}

void TfrmMain::miSaveClick() {
  if (SaveDialog1->exec() == QDialog::Accepted && !SaveDialog1->selectedFiles().isEmpty()) {
    SaveVortexFileTo(SaveDialog1->selectedFiles().front());
  }
}

bool TfrmMain::SaveVortexFileTo(const QString& fileName) {
  std::string error;
  if (!SaveVortexFile(model_, S(fileName), error)) {
    ShowError(this, Q(error));
    return false;
  }
  return true;
}

void TfrmMain::miSavePictureClick() {
  QFileDialog dialog(this, QStringLiteral("Сохранить рисунок"), QStringLiteral("."),
                     QStringLiteral("Рисунки PNG (*.png)"));
  dialog.setObjectName(QStringLiteral("SavePictureDialog"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("png"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    SavePictureTo(dialog.selectedFiles().front());
  }
}

bool TfrmMain::SavePictureTo(const QString& fileName) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture_.Image().save(&buffer, "PNG")) {
    ShowError(this, QStringLiteral("Не удалось построить изображение рисунка."));
    return false;
  }
  const Bytes bytes(png.begin(), png.end());
  std::string error;
  if (!WriteFileAtomically(S(fileName), bytes, error)) {
    ShowError(this, Q(error));
    return false;
  }
  return true;
}

}  // namespace mdv
