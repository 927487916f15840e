#pragma once
// The main window: run control (Start, Continue, Stop), the flow picture with
// zoom and panning, stream lines, the speed at a point, the small reports,
// the vortex files and the menu that opens every other window. A run executes
// inside the Start or Continue handler; the window is the run's observer and
// services the pending events once per step, so Stop, zoom, panning and the
// menu commands are handled between two steps. main_window.cpp builds it;
// main_window_run.cpp holds the run control, main_window_picture.cpp the
// picture and its interaction, main_window_dialogs.cpp the other windows,
// main_window_contour.cpp the contour area and the profiled inlet.
#include <QMainWindow>
#include <QString>
#include <QWidget>
#include <chrono>
#include <utility>
#include <cstdint>
#include <optional>
#include <string>

#include "core/model/area_validation.h"
#include "core/model/model.h"
#include "core/base/observer.h"
#include "core/base/real.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QScrollArea;
class QPushButton;
class QSpinBox;
class QToolBar;

namespace mdv {

struct AveragingResults;
class Picture;
class TfrmAbout;
class TfrmPulsateParam;
class TfrmViewPulsate;
class TfrmAreaParams;
class TfrmFreeVrtGraph;
class TfrmBreakPntParams;
class TfrmVortexAreaInfo;
class TfrmBreakPntIntervals;
class PrecisionToggle;
class ModelToggle;
class RunAverages;

// The element the flow picture is shown in: it copies the picture's image at
// (0, 0) and passes mouse and size changes to the main window.
class PictureBox : public QWidget {
  Q_OBJECT
 public:
  explicit PictureBox(const Picture& picture, QWidget* parent = nullptr);

 signals:
  void resized();
  void mousePressed(int x, int y);
  void mouseMoved(int x, int y);
  void mouseReleased();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  const Picture& picture_;
};

class TfrmMain : public QMainWindow, public Observer {
  Q_OBJECT
 public:
  // Builds the window, the area from the model's parameters, the shedding
  // intervals (0, 0, 0) and the first picture. `model` and `picture` outlive it.
  TfrmMain(Model& model, Picture& picture, QWidget* parent = nullptr);
  ~TfrmMain() override;

  static QString Caption();

  // The start-up's place on a screen's available area (logical pixels):
  // centred at the design size when that fits; otherwise the window starts at
  // the available size in its top-left corner, the picture area smaller, and
  // below the design's least size (792 x 479 client) the client area scrolls.
  void StartOnScreen(const QRect& available);
  // The scrolled client area that holds every control.
  QScrollArea* ClientScroll() const { return scroll_; }

  // ---- what the other windows need ----
  Model& model() { return model_; }
  Picture& picture() { return picture_; }
  // A run is executing (its handler is on the call stack).
  bool IsRunning() const { return running_; }
  // Shows the refusal of a command that would rebuild or replace the model
  // while a run executes; true when the command must not go on.
  bool RefuseWhileRunning();
  // The run buttons after a new area configuration: Start only.
  void SetFreshState();
  // lbTime and lbVortexCount from the model's time and free-vortex count.
  void ShowRunLabels();

  // The other windows, attached by the program's start-up in creation order;
  // any of them may be null (tests build the main window alone).
  TfrmAbout* frmAbout = nullptr;
  TfrmPulsateParam* frmPulsateParam = nullptr;
  TfrmViewPulsate* frmViewPulsate = nullptr;
  TfrmAreaParams* frmAreaParams = nullptr;
  TfrmFreeVrtGraph* frmFreeVrtGraph = nullptr;
  TfrmBreakPntParams* frmBreakPntParams = nullptr;
  TfrmVortexAreaInfo* frmVortexAreaInfo = nullptr;
  TfrmBreakPntIntervals* frmBreakPntIntervals = nullptr;
  // The averages of the session's runs, their controls and window.
  RunAverages* averages = nullptr;

  // ---- the view ----
  Real Scale() const { return Scale_; }
  int32_t OriginX() const { return OriginX_; }
  int32_t OriginY() const { return OriginY_; }

  // ---- files (the menu handlers run the dialogs, then call these) ----
  // Saves the state; a failure is shown and false returned.
  bool SaveVortexFileTo(const QString& fileName);
  // Loads a state and refreshes picture, labels and run fields; a bad file is
  // shown and leaves model and picture as they were.
  bool LoadVortexFileFrom(const QString& fileName);
  // Writes the current picture as PNG, through a temporary file.
  bool SavePictureTo(const QString& fileName);

  // ---- the contour area (main_window_contour.cpp) ----
  // Reads and checks a contour file and makes it the area; a refusal is
  // shown and leaves the area as it was.
  bool LoadContourAreaFrom(const QString& fileName);
  // Makes a checked contour the area: the parametric hood kept for the area
  // dialog, the simulation state discarded, the refined model on and held,
  // the view fitted, the title and the status bar naming it. Refused (false)
  // while a run executes.
  bool UseContourArea(const Contour& c, const QString& fileName);
  // Title, status-bar mark and the model toggle's lock after the area's kind
  // changed (a contour loaded, the parametric hood chosen, a state loaded).
  void ShowAreaKind();
  // The averages "Профилировать по вихревой зоне" works on: those of the
  // file the averages window shows, else the session's.
  AveragingResults ProfileSource() const;
  // Enables the profiling item when there are averages to profile.
  void UpdateProfileAction();
  // The contour profiled along the vortex zone of `r`, checked; false with
  // the refusal in `error` (Russian).
  static bool ProfileFromAverages(const AveragingResults& r, Contour& out, std::string& error);

  // ---- observer of runs and traced lines ----
  void StatusText(const std::string& text) override;
  void StepDone(const Model& m) override;
  void PumpEvents() override;
  void TracePoint(const TRealPoint& p, bool first) override;
  // A set-up longer than a second (a fine contour) shows its progress in the status bar.
  void SetupProgress(SetupStage stage, int32_t done, int32_t total) override;

  // ---- controls ----
  QGroupBox* gbVortexMotion = nullptr;  // " Параметры движения вихрей:  "
  QLineEdit* edMaxFreeVortex = nullptr;
  QLineEdit* edMaxTime = nullptr;
  QLineEdit* edDt = nullptr;
  QGroupBox* gbSimulation = nullptr;  // " Моделирование: "
  QPushButton* btnStart = nullptr;
  QPushButton* btnContinue = nullptr;
  QPushButton* btnStop = nullptr;
  QLabel* lbTime = nullptr;
  QLabel* lbVortexCount = nullptr;
  QGroupBox* gbStreamLine = nullptr;  // " Построение линии тока: "
  QLineEdit* edX = nullptr;
  QLineEdit* edY = nullptr;
  QLineEdit* edStep = nullptr;
  QLineEdit* edMaxLen = nullptr;
  QPushButton* btnTraceStreamLine = nullptr;
  QPushButton* btnEraseFlowLines = nullptr;
  QGroupBox* gbPointSpeed = nullptr;  // " Скорость воздуха в точке: "
  QLineEdit* edSX = nullptr;
  QLineEdit* edSY = nullptr;
  QPushButton* btnSpeed = nullptr;
  QGroupBox* gbPicture = nullptr;  // " Рисунок: "
  QCheckBox* cbDrawFreeVortexes = nullptr;
  QSpinBox* edVortexSize = nullptr;
  QCheckBox* cbDrawFixedVortexes = nullptr;
  QCheckBox* cbDrawAxes = nullptr;
  QToolBar* tbZoom = nullptr;
  QFrame* bvPicture = nullptr;
  PictureBox* pbPicture = nullptr;
  QLabel* lbStatus = nullptr;
  QLabel* lbContourArea = nullptr;  // "Контур: <name>" while the area is a contour
  QProgressBar* pbRunProgress = nullptr;

  // ---- menu ----
  QAction* miLoad = nullptr;
  QAction* miSave = nullptr;
  QAction* miSavePicture = nullptr;
  QAction* miInformation = nullptr;
  QAction* miTest = nullptr;
  QAction* miExit = nullptr;
  QAction* miPulsationCharts = nullptr;
  QAction* miFreeVortexGraph = nullptr;  // hidden
  QAction* miVortexArea = nullptr;
  QAction* miAreaConfig = nullptr;
  QAction* miPulsationParams = nullptr;
  QAction* miBreakPntParams = nullptr;  // hidden
  QAction* miSeparationPoints = nullptr;
  QAction* miContourArea = nullptr;     // "Контур из файла…"
  QAction* miProfileContour = nullptr;  // "Профилировать по вихревой зоне"
  QAction* miZoomOut = nullptr;
  QAction* miZoomIn = nullptr;
  QAction* miZoomNo = nullptr;
  QAction* miAbout = nullptr;
  PrecisionToggle* precision_ = nullptr;  // "Быстрый счёт (двойная точность)"
  ModelToggle* modelToggle_ = nullptr;    // "Уточнённая модель", the free-vortex limit mark
  std::pair<QString, QString> programRunFields_;  // the free-vortex limit and step set for the program's model

  QFileDialog* OpenDialog1 = nullptr;
  QFileDialog* SaveDialog1 = nullptr;

 public slots:
  void btnStartClick();
  void btnContinueClick();
  void btnStopClick();
  // Full redraw of the picture with the window's view and check boxes, shown at once.
  void btnDrawClick();
  void miZoomInClick();
  void miZoomOutClick();
  void miZoomNoClick();
  void edVortexSizeChange();
  void btnTraceStreamLineClick();
  void btnEraseFlowLinesClick();
  void btnSpeedClick();
  void miInformationClick();
  void miTestClick();
  void miSeparationPointsClick();
  void miAboutClick();
  void miLoadClick();
  void miSaveClick();
  void miSavePictureClick();
  void miContourAreaClick();
  void miProfileContourClick();

  // Defined in main_window_dialogs.cpp, beside the windows they open.
  void miAreaConfigClick();
  void miPulsationParamsClick();
  void miBreakPntParamsClick();
  void miPulsationChartsClick();
  void miFreeVortexGraphClick();
  void miVortexAreaClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Recording settings of the two dialogs into the model, before every run;
  // ApplyPulsateParams returns false (after telling the user) when they cannot
  // be applied, and the run does not start.
  void ApplyBreakPntParams();
  bool ApplyPulsateParams();

  struct RunFields {
    Real dt = 0;          // s
    Real maxTime = 0;     // s
    int32_t maxFree = 0;  // free vortices
  };
  // Reads edDt, edMaxTime, edMaxFreeVortex; shows the conversion error or the
  // refusal and returns false with nothing changed.
  bool ReadRunFields(RunFields& f);
  void Run(const RunFields& f, int32_t freeCount, Real startTime);
  // Says so and returns true when a run from startTime would make no step.
  bool RefuseRunWithoutStep(Real startTime, Real endTime);
  void SetRunButtons(bool start, bool cont, bool stop);

  void BuildControls();
  void BuildMenu();
  // "Контур из файла…", "Профилировать по вихревой зоне" and the contour's
  // status-bar mark; after the averages' items, which the latter follows.
  void BuildContourMenu();
  // Tool bar, bevel, paint box and " Рисунок: " group (main_window_picture.cpp).
  void BuildPictureArea();
  void LayoutPictureArea();
  // The initial scale and origin.
  void ResetView();
  void PictureMousePressed(int x, int y);
  void PictureMouseMoved(int x, int y);
  void Zoom(Real factor, bool enlarge);

  Model& model_;
  Picture& picture_;

  Real Scale_ = 400;  // px/m
  int32_t OriginX_ = 210;
  int32_t OriginY_ = 0;
  bool Dragging_ = false;
  int32_t DragX_ = 0;
  int32_t DragY_ = 0;

  bool running_ = false;
  // The parametric hood the area dialog shows while a contour area is
  // loaded (the contour overwrites the model's B, L, LL, PL, Px, speeds, h).
  std::optional<AreaParameters> parametricArea_;
  QString contourFile_;  // the loaded contour's file
  bool closeAfterRun_ = false;
  QWidget* central_ = nullptr;
  QScrollArea* scroll_ = nullptr;  // holds central_
  // The set-up of the current run: when it began, and the share last shown (-1: none).
  std::optional<std::chrono::steady_clock::time_point> setupStart_;
  int setupShownPercent_ = -1;
  bool setupTextShown_ = false;  // the status bar shows a set-up text
  SetupStage setupStage_ = SetupStage::Matrix;
  int32_t setupDone_ = 0;
};

}  // namespace mdv
