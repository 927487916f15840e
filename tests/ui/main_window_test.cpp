// The main window against a real model: start-up texts, run control, zoom
// and panning, the point speed and reports, stream lines, vortex files and
// the picture file. Message boxes are answered by a timer that records them.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "core/model/model.h"
#include "core/model/vortex_file.h"
#include "ui/about_box.h"
#include "ui/main_window.h"
#include "ui/main_window_averages.h"
#include "ui/picture.h"

using mdv::Model;
using mdv::Picture;
using mdv::Real;
using mdv::TfrmMain;

namespace {

// Closes every message box that becomes the active modal window, keeping its
// text; it polls, so boxes opened inside a run's event pump are caught too.
class MessageCatcher : public QObject {
 public:
  MessageCatcher() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->done(QMessageBox::Ok);
      }
    });
    timer_.start();
  }
  QStringList texts;

 private:
  QTimer timer_;
};

struct Window {
  Model model;
  Picture picture{model};
  TfrmMain win{model, picture};
  Window() {
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
  }
};

struct Buttons {
  bool start, cont, stop;
};

void CheckButtons(const TfrmMain& w, Buttons b) {
  QCOMPARE(w.btnStart->isEnabled(), b.start);
  QCOMPARE(w.btnContinue->isEnabled(), b.cont);
  QCOMPARE(w.btnStop->isEnabled(), b.stop);
}

// The model time after a run from `start` with step `dt` to `end`: steps are
// made while the time is not past the end.
Real TimeAfterRun(Real start, Real end, Real dt) {
  Real t = start;
  while (t <= end) t = t + dt;
  return t;
}

int CountColour(const QImage& img, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) | 0xff000000u) == colour) ++n;
  return n;
}

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kTeal = qRgb(0, 128, 128);

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void startUpTexts();
  void startsWithinSmallScreens();
  void menuItems();
  void fileDialogs();
  void shortRunPauses();
  void defaultRunEndsAfter201Steps();
  void stopBetweenSteps();
  void continueAfterSmallerLimit();
  void badRunFields_data();
  void badRunFields();
  void closeDuringRunStopsFirst();
  void loadRefusedDuringRun();
  void zoomAndInitialView();
  void panningWithAnyButton();
  void pictureOptions();
  void speedAtPoint_data();
  void speedAtPoint();
  void reports();
  void streamLines();
  void saveAndLoad();
  void badFileLeavesStateAlone();
  void savePicture();
  void afterARunFocusAndPictureAreWhole();
  void aboutBox();

 private:
  QTemporaryDir dir_;
};

void MainWindowTest::initTestCase() {
  QApplication::setApplicationName(QStringLiteral("Ринфет-МДВ"));
  QVERIFY(dir_.isValid());
}

void MainWindowTest::startUpTexts() {
  Window w;
  QCOMPARE(w.win.windowTitle(),
           QStringLiteral("МДВ - Круглый отсос-раструб с притоком над плоскостью - Версия 1.1.0"));
  QCOMPARE(w.win.lbStatus->text(), QStringLiteral("Количество присоединенных вихрей: 396"));
  QCOMPARE(w.model.AttachedCount, 396);
  QCOMPARE(w.model.SheddingInterval, (std::vector<int32_t>{0, 0, 0}));

  const std::pair<QLineEdit*, const char*> edits[] = {
      {w.win.edMaxFreeVortex, "400"}, {w.win.edMaxTime, "1"}, {w.win.edDt, "0,005"},
      {w.win.edX, "0,1"},             {w.win.edY, "0,005"},   {w.win.edStep, "0,005"},
      {w.win.edMaxLen, "1"},          {w.win.edSX, "0,0"},    {w.win.edSY, "0,0"}};
  for (const auto& [edit, text] : edits) QCOMPARE(edit->text(), QString::fromUtf8(text));

  // The window's menu and top-left corner on the screen, even one narrower
  // than the window (offscreen's 800 × 600).
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  QVERIFY2(w.win.x() >= avail.left() && w.win.y() >= avail.top(),
           qPrintable(QStringLiteral("at %1,%2").arg(w.win.x()).arg(w.win.y())));

  CheckButtons(w.win, {true, false, false});
  QCOMPARE(w.win.btnStart->text(), QStringLiteral("Начать"));
  QCOMPARE(w.win.btnContinue->text(), QStringLiteral("Продолжить"));
  QCOMPARE(w.win.btnStop->text(), QStringLiteral("Остановить"));
  QCOMPARE(w.win.lbTime->text(), QStringLiteral("Прошло времени:"));
  QCOMPARE(w.win.lbVortexCount->text(), QStringLiteral("Свободных вихрей: "));
  QCOMPARE(w.win.btnTraceStreamLine->text(), QStringLiteral("Построить линию тока"));
  QCOMPARE(w.win.btnEraseFlowLines->text(), QStringLiteral("Удалить линии тока"));
  QCOMPARE(w.win.btnSpeed->text(), QStringLiteral("Вычислить скорость"));

  QCOMPARE(w.win.gbVortexMotion->title(), QStringLiteral(" Параметры движения вихрей:  "));
  QCOMPARE(w.win.gbSimulation->title(), QStringLiteral(" Моделирование: "));
  QCOMPARE(w.win.gbStreamLine->title(), QStringLiteral(" Построение линии тока: "));
  QCOMPARE(w.win.gbPointSpeed->title(), QStringLiteral(" Скорость воздуха в точке: "));
  QCOMPARE(w.win.gbPicture->title(), QStringLiteral(" Рисунок: "));
  QVERIFY(w.win.cbDrawFreeVortexes->isChecked());
  QVERIFY(!w.win.cbDrawFixedVortexes->isChecked());
  QVERIFY(w.win.cbDrawAxes->isChecked());
  QCOMPARE(w.win.edVortexSize->minimum(), 1);
  QCOMPARE(w.win.edVortexSize->maximum(), 3);
  QCOMPARE(w.win.edVortexSize->value(), 1);

  // The design geometry: the paint box 668 x 379, and the initial view.
  QCOMPARE(w.win.pbPicture->size(), QSize(668, 379));
  QCOMPARE(w.win.centralWidget()->size(), QSize(938, 479));
  QCOMPARE(w.win.Scale(), Real(400));
  QCOMPARE(w.win.OriginX(), 210);
  QCOMPARE(w.win.OriginY(), 289);
  QCOMPARE(w.picture.Image().size(), QSize(668, 379));
  QVERIFY(!w.win.pbRunProgress->isVisible());

  // The picture grows with the window.
  w.win.resize(w.win.width() + 100, w.win.height() + 50);
  QTRY_COMPARE(w.win.pbPicture->size(), QSize(768, 429));
  QCOMPARE(w.picture.Image().size(), QSize(768, 429));
}

// The start-up on a screen the design (938 x 479 client) fits: unchanged and
// centred. On smaller ones (800 x 600; 640 x 400, i.e. 1280 x 800 at a scale
// factor of 2) the window starts at the available size in its corner, the
// picture narrower by the design's 270 pixels of margins and left column, no
// less than the design's least client width 792; every control can be
// scrolled into view.
void MainWindowTest::startsWithinSmallScreens() {
  Window w;
  const QSize design = w.win.size();
  QCOMPARE(design.width(), 938);
  w.win.StartOnScreen(QRect(100, 50, 1280, 800));
  QCOMPARE(w.win.size(), design);
  const QPoint off = w.win.frameGeometry().center() - QRect(100, 50, 1280, 800).center();
  QVERIFY2(std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
  QTRY_COMPARE(w.win.pbPicture->size(), QSize(668, 379));

  QScrollArea* scroll = w.win.ClientScroll();
  QVERIFY(scroll != nullptr && scroll->widget() == w.win.pbPicture->parentWidget());
  const int frame = w.win.frameGeometry().width() - w.win.width();  // the platform's borders
  const struct {
    QRect screen;
    int pictureWidth;
  } small[] = {{QRect(0, 0, 800, 600), 800 - frame - 270}, {QRect(30, 20, 640, 400), 792 - 270}};
  for (const auto& [screen, pictureWidth] : small) {
    w.win.StartOnScreen(screen);
    QTRY_VERIFY2(screen.contains(w.win.frameGeometry()),
                 qPrintable(QStringLiteral("%1 x %2 at %3,%4").arg(w.win.width()).arg(w.win.height())
                                .arg(w.win.x()).arg(w.win.y())));
    QCOMPARE(w.win.pos(), screen.topLeft());
    QTRY_COMPARE(w.win.pbPicture->width(), pictureWidth);
    QCOMPARE(scroll->horizontalScrollBar()->maximum() > 0, screen.width() - frame < 792);
    // Reachable: the scroll range spans the whole client area, and every
    // control (as much as its parent shows of it) lies in it and fits the view.
    QWidget* client = scroll->widget();
    const QSize view = scroll->viewport()->size();
    QCOMPARE(scroll->horizontalScrollBar()->maximum(), std::max(0, client->width() - view.width()));
    QCOMPARE(scroll->verticalScrollBar()->maximum(), std::max(0, client->height() - view.height()));
    int controls = 0;
    for (QWidget* c : client->findChildren<QWidget*>()) {
      if (!c->isVisibleTo(&w.win) || (c->focusPolicy() == Qt::NoFocus && !qobject_cast<QGroupBox*>(c))) continue;
      ++controls;
      const QRect r = QRect(c->mapTo(client, QPoint(0, 0)), c->size()) &
                      QRect(c->parentWidget()->mapTo(client, QPoint(0, 0)), c->parentWidget()->size());
      QVERIFY2(client->rect().contains(r) &&
                   ((r.width() <= view.width() && r.height() <= view.height()) || c == w.win.pbPicture),
               qPrintable(c->objectName() + QStringLiteral(" at %1,%2").arg(r.x()).arg(r.y())));
    }
    QVERIFY(controls > 20);
  }
}

void MainWindowTest::menuItems() {
  Window w;
  struct Item {
    QString text;
    bool visible;
  };
  const QList<QPair<QString, QList<Item>>> expected = {
      {"Данные",
       {{"Загрузить", true}, {"Сохранить", true}, {"Сохранить рисунок…", true},
        {"Сохранить средние…", true}, {"Загрузить средние…", true}, {"Открыть исследование…", true},
        {"-", true},
        {"Информация", true}, {"Test", true}, {"-", true}, {"Выход", true}}},
      {"Информация",
       {{"Графики пульсаций", true}, {"График оторвавшегося вихря", false},
        {"Параметры вихревой области", true}, {"Осреднённое течение", true},
        {"Профилировать по вихревой зоне", true}}},
      {"Параметры",
       {{"Конфигурация области", true}, {"Контур из файла…", true}, {"Пульсации", true}, {"Оторвавшийся вихрь", false},
        {"Точки отрыва", true}, {"Быстрый счёт (двойная точность)", true}, {"Уточнённая модель", true}}},
      {"Масштаб", {{"Уменьшить", true}, {"Увеличить", true}, {"Исходный", true}}},
      {"Справка", {{"Руководство пользователя", true}, {"О программе", true}}}};
  const QList<QAction*> menus = w.win.menuBar()->actions();
  QCOMPARE(menus.size(), expected.size());
  for (int i = 0; i < menus.size(); ++i) {
    QCOMPARE(menus[i]->text(), expected[i].first);
    const QList<QAction*> items = menus[i]->menu()->actions();
    QCOMPARE(items.size(), expected[i].second.size());
    for (int k = 0; k < items.size(); ++k) {
      const Item& e = expected[i].second[k];
      QCOMPARE(items[k]->isSeparator() ? QStringLiteral("-") : items[k]->text(), e.text);
      QCOMPARE(items[k]->isVisible(), e.visible);
    }
  }
  // The tool bar carries the three zoom commands, then "Осреднять с … сек."
  // and "Маркеры".
  const QList<QAction*> tools = w.win.tbZoom->actions();
  QCOMPARE(tools.size(), 9);
  QCOMPARE(tools[0], w.win.miZoomIn);
  QCOMPARE(tools[1], w.win.miZoomOut);
  QCOMPARE(tools[2], w.win.miZoomNo);
  for (int k = 0; k < 3; ++k) QVERIFY(!tools[k]->icon().isNull());
  QVERIFY(tools[3]->isSeparator());
  auto* from = qobject_cast<QLabel*>(w.win.tbZoom->widgetForAction(tools[4]));
  QVERIFY(from);
  QCOMPARE(from->text().trimmed(), QStringLiteral("Осреднять с"));
  QCOMPARE(w.win.tbZoom->widgetForAction(tools[5]), w.win.averages->edAverageFrom);
  QVERIFY(w.win.averages->edAverageFrom->text().isEmpty());
  auto* unit = qobject_cast<QLabel*>(w.win.tbZoom->widgetForAction(tools[6]));
  QVERIFY(unit);
  QCOMPARE(unit->text().trimmed(), QStringLiteral("сек."));
  QVERIFY(tools[7]->isSeparator());
  auto* markers = qobject_cast<QCheckBox*>(w.win.tbZoom->widgetForAction(tools[8]));
  QVERIFY(markers);
  QCOMPARE(markers->text(), QStringLiteral("Маркеры"));
  QVERIFY(!markers->isChecked());

  // "Точки отрыва" shows its message and opens nothing.
  MessageCatcher catcher;
  w.win.miSeparationPoints->trigger();
  QCOMPARE(catcher.texts, QStringList{QStringLiteral("Данная функция временно заблокирована")});
}

void MainWindowTest::fileDialogs() {
  Window w;
  QCOMPARE(w.win.OpenDialog1->windowTitle(), QStringLiteral("Загрузить данные"));
  QCOMPARE(w.win.OpenDialog1->defaultSuffix(), QStringLiteral("evt"));
  QCOMPARE(w.win.OpenDialog1->directory().absolutePath(), QDir::currentPath());
  QCOMPARE(w.win.OpenDialog1->nameFilters().size(), 1);
  QVERIFY(w.win.OpenDialog1->nameFilters()[0].startsWith(
      QStringLiteral("Файлы с вихрями (*.vrt,*.evt)")));
  QCOMPARE(w.win.SaveDialog1->windowTitle(), QStringLiteral("Сохранить данные"));
  QCOMPARE(w.win.SaveDialog1->defaultSuffix(), QStringLiteral("evt"));
  QCOMPARE(w.win.SaveDialog1->nameFilters(),
           (QStringList{QStringLiteral("Файлы с вихрями (*.vrt)"),
                        QStringLiteral("Расширенные файлы с вихрями (*.evt)")}));
  QCOMPARE(w.win.SaveDialog1->selectedNameFilter(),
           QStringLiteral("Расширенные файлы с вихрями (*.evt)"));
  QCOMPARE(w.win.SaveDialog1->directory().absolutePath(), QDir::currentPath());
}

void MainWindowTest::shortRunPauses() {
  Window w;
  w.win.edMaxTime->setText(QStringLiteral("0,02"));
  w.win.btnStart->click();
  const Real t = TimeAfterRun(0, 0.02L, 0.005L);
  QCOMPARE(w.model.Time, t);
  QCOMPARE(w.win.lbTime->text(),
           QStringLiteral("Прошло времени: ") + QString::number(static_cast<double>(t), 'f', 3)
                                                   .replace('.', ',') +
               QStringLiteral(" сек."));
  QVERIFY(w.model.FreeVortexCount > 0);
  QCOMPARE(w.win.lbVortexCount->text(),
           QStringLiteral("Свободных вихрей: %1").arg(w.model.FreeVortexCount));
  CheckButtons(w.win, {true, true, false});
  QVERIFY(!w.win.pbRunProgress->isVisible());
  // The free-vortex layer of the last step is on the picture.
  QVERIFY(CountColour(w.picture.Image(), kRed) > 0);
  // The run's limit and step came from the fields.
  QCOMPARE(w.model.MaxFreeVortex, 400);
  QCOMPARE(w.model.Dt, 0.005L);
}

// Start with the default fields: 200 steps of 0,005 s leave the extended time
// a hair under 1, so a 201st step is made and the label reads 1,005.
void MainWindowTest::defaultRunEndsAfter201Steps() {
  Window w;
  QElapsedTimer clock;
  clock.start();
  w.win.btnStart->click();
  qInfo("1 s default run in the window: %.2f s", clock.elapsed() / 1000.0);
  QCOMPARE(w.win.lbTime->text(), QStringLiteral("Прошло времени: 1,005 сек."));
  Real t = 0;
  for (int i = 0; i < 200; ++i) t = t + 0.005L;
  QVERIFY2(t <= 1, "200 steps stay at or below the end time");
  QCOMPARE(w.model.Time, t + 0.005L);
  QCOMPARE(w.model.FreeVortexCount, 400);
  QCOMPARE(w.win.lbVortexCount->text(), QStringLiteral("Свободных вихрей: 400"));
  CheckButtons(w.win, {true, true, false});
}

void MainWindowTest::stopBetweenSteps() {
  Window w;
  QStringList seen;  // button states and labels while Stop is handled
  QTimer::singleShot(0, &w.win, [&] {
    seen << w.win.lbTime->text();
    QVERIFY(!w.win.btnStart->isEnabled() && w.win.btnStop->isEnabled());
    QVERIFY(w.win.pbRunProgress->isVisible());
    w.win.btnStop->click();
    QVERIFY(w.win.btnStart->isEnabled() && w.win.btnContinue->isEnabled());
    QVERIFY(!w.win.btnStop->isEnabled());
  });
  w.win.btnStart->click();
  // The click was handled after the first step, which is complete.
  QCOMPARE(seen, QStringList{QStringLiteral("Прошло времени: 0,005 сек.")});
  QCOMPARE(w.model.Time, 0.005L);
  QCOMPARE(w.win.lbTime->text(), QStringLiteral("Прошло времени: 0,005 сек."));
  QCOMPARE(w.win.lbVortexCount->text(), QStringLiteral("Свободных вихрей: 3"));
  QCOMPARE(w.model.FreeVortexCount, 3);
  CheckButtons(w.win, {true, true, false});

  // Continue goes on from the stopped state.
  QTimer::singleShot(0, w.win.btnStop, &QPushButton::click);
  w.win.btnContinue->click();
  QCOMPARE(w.model.Time, 0.005L + 0.005L);
  QCOMPARE(w.win.lbTime->text(), QStringLiteral("Прошло времени: 0,010 сек."));
  CheckButtons(w.win, {true, true, false});

  // Start begins again from time 0 with an empty wake.
  QTimer::singleShot(0, w.win.btnStop, &QPushButton::click);
  w.win.btnStart->click();
  QCOMPARE(w.model.Time, 0.005L);
  QCOMPARE(w.model.FreeVortexCount, 3);
}

void MainWindowTest::continueAfterSmallerLimit() {
  Window w;
  w.win.edMaxTime->setText(QStringLiteral("0,03"));
  w.win.btnStart->click();
  const int32_t before = w.model.FreeVortexCount;
  QVERIFY2(before > 2, qPrintable(QString::number(before)));
  const Real timeBefore = w.model.Time;

  w.win.edMaxFreeVortex->setText(QStringLiteral("2"));
  w.win.edMaxTime->setText(QStringLiteral("0,05"));
  int32_t countAtFirstStep = -1;
  QTimer::singleShot(0, &w.win, [&] { countAtFirstStep = w.model.FreeVortexCount; });
  w.win.btnContinue->click();
  QVERIFY(countAtFirstStep >= 0 && countAtFirstStep <= 2);
  QVERIFY(w.model.FreeVortexCount <= 2);
  QCOMPARE(w.model.MaxFreeVortex, 2);
  QVERIFY(w.model.Time > timeBefore);
  QCOMPARE(w.win.lbVortexCount->text(),
           QStringLiteral("Свободных вихрей: %1").arg(w.model.FreeVortexCount));
  CheckButtons(w.win, {true, true, false});
}

void MainWindowTest::badRunFields_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("viaContinue");
  QTest::addColumn<QString>("message");
  QTest::newRow("step not a number") << "edDt" << "abc" << false
                                     << "'abc' is not a valid floating point value";
  QTest::newRow("end time with a point") << "edMaxTime" << "1.5" << false
                                         << "'1.5' is not a valid floating point value";
  QTest::newRow("limit not an integer") << "edMaxFreeVortex" << "4,5" << false
                                        << "'4,5' is not a valid integer value";
  QTest::newRow("continue, empty step") << "edDt" << "" << true
                                        << "'' is not a valid floating point value";
  QTest::newRow("zero step") << "edDt" << "0" << false << "Шаг по времени должен быть больше нуля.";
  QTest::newRow("negative step") << "edDt" << "-0,005" << true
                                 << "Шаг по времени должен быть больше нуля.";
  QTest::newRow("negative limit")
      << "edMaxFreeVortex" << "-1" << false
      << "Максимальное количество свободных вихрей не может быть отрицательным.";
  // A run that would make no step says so and changes nothing.
  QTest::newRow("end time already reached") << "edMaxTime" << "-1" << false
                                            << "Заданное время моделирования уже достигнуто";
  QTest::newRow("continue, end time already reached")
      << "edMaxTime" << "-0,005" << true << "Заданное время моделирования уже достигнуто";
}

void MainWindowTest::badRunFields() {
  QFETCH(QString, field);
  QFETCH(QString, text);
  QFETCH(bool, viaContinue);
  QFETCH(QString, message);
  Window w;
  if (viaContinue) w.win.btnContinue->setEnabled(true);
  const Buttons before{w.win.btnStart->isEnabled(), w.win.btnContinue->isEnabled(),
                       w.win.btnStop->isEnabled()};
  w.win.findChild<QLineEdit*>(field)->setText(text);
  MessageCatcher catcher;
  (viaContinue ? w.win.btnContinue : w.win.btnStart)->click();
  QCOMPARE(catcher.texts, QStringList{message});
  // Nothing ran and the window looks as before.
  CheckButtons(w.win, before);
  QCOMPARE(w.model.Time, Real(0));
  QCOMPARE(w.model.FreeVortexCount, 0);
  QCOMPARE(w.win.lbTime->text(), QStringLiteral("Прошло времени:"));
}

void MainWindowTest::closeDuringRunStopsFirst() {
  Window w;
  QTimer::singleShot(0, &w.win, [&] { w.win.close(); });
  w.win.btnStart->click();
  // The close stopped the run after its first step, then took effect.
  QCOMPARE(w.model.Time, 0.005L);
  QVERIFY(!w.win.isVisible());
  QVERIFY(!w.win.IsRunning());
}

void MainWindowTest::loadRefusedDuringRun() {
  Window w;
  const QString path = dir_.filePath(QStringLiteral("refused.evt"));
  QVERIFY(w.win.SaveVortexFileTo(path));
  MessageCatcher catcher;
  bool loaded = true;
  QTimer::singleShot(0, &w.win, [&] {
    loaded = w.win.LoadVortexFileFrom(path);
    w.win.btnStop->click();
  });
  w.win.btnStart->click();
  QVERIFY(!loaded);
  QCOMPARE(catcher.texts.size(), 1);
  QVERIFY(catcher.texts[0].startsWith(QStringLiteral("Идет моделирование.")));
  // The run went on with its own arrays and ended normally after the stop.
  QCOMPARE(w.model.Time, 0.005L);
  QCOMPARE(w.model.FreeVortexCount, 3);
  CheckButtons(w.win, {true, true, false});
  // Once the run is over the same file loads.
  QVERIFY(w.win.LoadVortexFileFrom(path));
  QCOMPARE(w.model.FreeVortexCount, 0);
}

void MainWindowTest::zoomAndInitialView() {
  Window w;
  const Real halfW = Real(w.win.pbPicture->width()) / 2;
  const Real halfH = Real(w.win.pbPicture->height()) / 2;
  // The model point under the centre of the paint box.
  auto centre = [&] {
    return std::pair<Real, Real>{(halfW - w.win.OriginX()) / w.win.Scale(),
                                 (w.win.OriginY() - halfH) / w.win.Scale()};
  };
  const auto c0 = centre();
  w.win.miZoomIn->trigger();
  QCOMPARE(w.win.Scale(), 400 * 1.2L);
  QCOMPARE(w.win.OriginX(), 185);  // round(334 - (334 - 210) * 1.2) = round(185.2)
  QCOMPARE(w.win.OriginY(), 309);  // round(189.5 - (189.5 - 289) * 1.2) = round(308.9)
  const auto c1 = centre();
  QVERIFY(std::abs(c1.first - c0.first) * w.win.Scale() <= 0.5L);
  QVERIFY(std::abs(c1.second - c0.second) * w.win.Scale() <= 0.5L);

  w.win.miZoomOut->trigger();
  QVERIFY(std::abs(w.win.Scale() - 400) < 1e-12L);
  QVERIFY(std::abs(w.win.OriginX() - 210) <= 1);
  QVERIFY(std::abs(w.win.OriginY() - 289) <= 1);

  w.win.tbZoom->actions()[1]->trigger();  // the tool bar's zoom out
  QVERIFY(w.win.Scale() < 400);
  QCOMPARE(w.picture.PicScale(), w.win.Scale());

  w.win.miZoomNo->trigger();
  QCOMPARE(w.win.Scale(), Real(400));
  QCOMPARE(w.win.OriginX(), 210);
  QCOMPARE(w.win.OriginY(), w.win.pbPicture->height() / 2 + 100);
  QCOMPARE(w.picture.PicOriginY(), 289);
}

void MainWindowTest::panningWithAnyButton() {
  Window w;
  QWidget* pb = w.win.pbPicture;
  QTest::mousePress(pb, Qt::RightButton, {}, QPoint(100, 100));
  QTest::mouseMove(pb, QPoint(130, 90));
  QTest::mouseRelease(pb, Qt::RightButton, {}, QPoint(130, 90));
  QCOMPARE(w.win.OriginX(), 240);
  QCOMPARE(w.win.OriginY(), 279);
  QCOMPARE(w.picture.PicOriginX(), 240);

  QTest::mousePress(pb, Qt::MiddleButton, {}, QPoint(50, 50));
  QTest::mouseMove(pb, QPoint(40, 60));
  QTest::mouseMove(pb, QPoint(30, 80));
  QTest::mouseRelease(pb, Qt::MiddleButton, {}, QPoint(30, 80));
  QCOMPARE(w.win.OriginX(), 220);
  QCOMPARE(w.win.OriginY(), 309);

  // After the release a move pans no more.
  QTest::mouseMove(pb, QPoint(200, 200));
  QCOMPARE(w.win.OriginX(), 220);
  QCOMPARE(w.win.OriginY(), 309);
}

void MainWindowTest::pictureOptions() {
  Window w;
  QVERIFY(CountColour(w.picture.Image(), kTeal) > 0);
  w.win.cbDrawAxes->click();
  QCOMPARE(CountColour(w.picture.Image(), kTeal), 0);
  w.win.cbDrawFixedVortexes->click();
  QVERIFY(CountColour(w.picture.Image(), kBlue) > w.model.AttachedCount);
  w.win.edVortexSize->setValue(3);
  QCOMPARE(w.picture.VortexMarkSize(), 3);
}

void MainWindowTest::speedAtPoint_data() {
  QTest::addColumn<QString>("x");
  QTest::addColumn<QString>("y");
  QTest::addColumn<QString>("pattern");
  QTest::newRow("a point of the flow")
      << "0,1" << "0,05"
      << "^Скорость воздуха в точке \\(0,1;0,05\\):\\n  Vx = -?\\d+,\\d{4} м/с\\n  Vy = -?\\d+,\\d{4} м/с$";
  QTest::newRow("coordinates as typed")
      << " -0,20" << "0,1"
      << "^Скорость воздуха в точке \\( -0,20;0,1\\):\\n  Vx = -?\\d+,\\d{4} м/с\\n  Vy = -?\\d+,\\d{4} м/с$";
  QTest::newRow("x not a number") << "abc" << "0,1" << "^Ошибка в параметрах$";
  QTest::newRow("y with a point") << "0,1" << "0.1" << "^Ошибка в параметрах$";
}

void MainWindowTest::speedAtPoint() {
  QFETCH(QString, x);
  QFETCH(QString, y);
  QFETCH(QString, pattern);
  Window w;
  w.win.edSX->setText(x);
  w.win.edSY->setText(y);
  MessageCatcher catcher;
  w.win.btnSpeed->click();
  QCOMPARE(catcher.texts.size(), 1);
  QVERIFY2(QRegularExpression(pattern).match(catcher.texts[0]).hasMatch(),
           qPrintable(catcher.texts[0]));
}

void MainWindowTest::reports() {
  Window w;
  MessageCatcher catcher;
  w.win.miTest->trigger();
  w.win.miInformation->trigger();
  QCOMPARE(catcher.texts.size(), 2);
  QCOMPARE(catcher.texts[0], QStringLiteral("yes"));
  const QStringList lines = catcher.texts[1].split('\n');
  QCOMPARE(lines.size(), 19);  // 17 profiles (x = 0,15 … 0,95) and two sums
  QVERIFY(lines[0].startsWith(QStringLiteral("Средняя скорость по профилю x = 0,15:  ")));
  QVERIFY(lines[16].startsWith(QStringLiteral("Средняя скорость по профилю x = 0,95:  ")));
  QVERIFY(lines[17].startsWith(QStringLiteral("Сумма циркуляций присоединенных вихрей = ")));
  QVERIFY(lines[18].startsWith(QStringLiteral("Сумма циркуляций всех вихрей = ")));
}

void MainWindowTest::streamLines() {
  Window w;
  {
    // Before any run the attached circulations are not solved: the air is at
    // rest, and the line ends at its start point with a word to the user.
    MessageCatcher catcher;
    w.win.btnTraceStreamLine->click();
    QCOMPARE(w.model.StreamLineCount, 1);
    QCOMPARE(w.model.StreamLines[0].size(), size_t(1));
    QCOMPARE(catcher.texts.size(), 1);
    w.win.btnEraseFlowLines->click();
  }
  w.win.edMaxTime->setText(QStringLiteral("0,01"));
  w.win.btnStart->click();
  w.win.btnTraceStreamLine->click();
  QCOMPARE(w.model.StreamLineCount, 1);
  // At most floor(1 / 0,005) + 1 steps from the start point.
  QVERIFY(w.model.StreamLines[0].size() > 20);
  QVERIFY(w.model.StreamLines[0].size() <= 202);
  const int blue = CountColour(w.picture.Image(), kBlue);
  QVERIFY(blue > 50);
  // Kept and drawn again at another scale.
  w.win.miZoomIn->trigger();
  QVERIFY(CountColour(w.picture.Image(), kBlue) > 50);

  // A field that is not a number traces nothing.
  w.win.edStep->setText(QStringLiteral("x"));
  MessageCatcher catcher;
  w.win.btnTraceStreamLine->click();
  QCOMPARE(catcher.texts, QStringList{QStringLiteral("'x' is not a valid floating point value")});
  QCOMPARE(w.model.StreamLineCount, 1);

  w.win.btnEraseFlowLines->click();
  QCOMPARE(w.model.StreamLineCount, 0);
  QCOMPARE(CountColour(w.picture.Image(), kBlue), 0);
}

void MainWindowTest::saveAndLoad() {
  const QString path = dir_.filePath(QStringLiteral("state.evt"));
  Model saved;
  {
    Window w;
    w.win.edMaxTime->setText(QStringLiteral("0,02"));
    w.win.btnStart->click();
    QVERIFY(w.win.SaveVortexFileTo(path));
    saved = w.model;
    QCOMPARE(QFileInfo(path).size(),
             qint64(193 + 104 * saved.AttachedCount + 40 * saved.FreeVortexCount));
  }
  Window w;
  QImage fresh = w.picture.Image().copy();
  QVERIFY(w.win.LoadVortexFileFrom(path));
  QCOMPARE(w.model.Time, saved.Time);
  QCOMPARE(w.model.FreeVortexCount, saved.FreeVortexCount);
  QCOMPARE(w.model.AttachedCount, saved.AttachedCount);
  for (int k = 0; k < saved.AttachedCount + saved.FreeVortexCount; ++k) {
    QCOMPARE(w.model.Vortices[k].Pos.X, saved.Vortices[k].Pos.X);
    QCOMPARE(w.model.Vortices[k].Pos.Y, saved.Vortices[k].Pos.Y);
    QCOMPARE(w.model.Vortices[k].Gamma, saved.Vortices[k].Gamma);
  }
  // The window follows the loaded state.
  QCOMPARE(w.win.lbTime->text(),
           QStringLiteral("Прошло времени: ") +
               QString::number(static_cast<double>(saved.Time), 'f', 3).replace('.', ',') +
               QStringLiteral(" сек."));
  QCOMPARE(w.win.lbVortexCount->text(),
           QStringLiteral("Свободных вихрей: %1").arg(saved.FreeVortexCount));
  QCOMPARE(w.win.edMaxTime->text(), QStringLiteral("1"));
  QCOMPARE(w.win.edMaxFreeVortex->text(), QStringLiteral("400"));
  QCOMPARE(w.win.edDt->text(), QStringLiteral("0,005"));
  CheckButtons(w.win, {true, true, false});
  QVERIFY(w.picture.Image() != fresh);  // the loaded wake is drawn
  QVERIFY(CountColour(w.picture.Image(), kRed) > 0);

  // The loaded state continues from its time.
  w.win.edMaxTime->setText(QStringLiteral("0,03"));
  w.win.btnContinue->click();
  QCOMPARE(w.model.Time, TimeAfterRun(saved.Time, 0.03L, 0.005L));
}

void MainWindowTest::badFileLeavesStateAlone() {
  const QString good = dir_.filePath(QStringLiteral("good.evt"));
  const QString junk = dir_.filePath(QStringLiteral("junk.evt"));
  const QString oldVersion = dir_.filePath(QStringLiteral("version1.vrt"));
  const QString missing = dir_.filePath(QStringLiteral("missing.evt"));
  Window w;
  w.win.edMaxTime->setText(QStringLiteral("0,01"));
  w.win.btnStart->click();
  QVERIFY(w.win.SaveVortexFileTo(good));
  {
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a vortex file");
  }
  {
    QFile in(good);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    bytes[67] = 1;  // the format version
    QFile out(oldVersion);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
  }
  w.win.edMaxTime->setText(QStringLiteral("0,02"));
  w.win.btnStart->click();
  const Real time = w.model.Time;
  const int32_t count = w.model.FreeVortexCount;
  const auto vortices = w.model.Vortices;
  const QImage picture = w.picture.Image().copy();
  const QString label = w.win.lbTime->text();

  for (const QString& path : {junk, oldVersion, missing}) {
    MessageCatcher catcher;
    QVERIFY(!w.win.LoadVortexFileFrom(path));
    QCOMPARE(catcher.texts.size(), 1);
    QVERIFY(!catcher.texts[0].isEmpty());
    QCOMPARE(w.model.Time, time);
    QCOMPARE(w.model.FreeVortexCount, count);
    QCOMPARE(w.model.Vortices.size(), vortices.size());
    QCOMPARE(w.model.Vortices.back().Pos.X, vortices.back().Pos.X);
    QCOMPARE(w.picture.Image(), picture);
    QCOMPARE(w.win.lbTime->text(), label);
    QCOMPARE(w.win.edMaxTime->text(), QStringLiteral("0,02"));
  }

  // A save that cannot be written says so.
  MessageCatcher catcher;
  QVERIFY(!w.win.SaveVortexFileTo(dir_.filePath(QStringLiteral("no/such/dir/x.evt"))));
  QCOMPARE(catcher.texts.size(), 1);
}

void MainWindowTest::savePicture() {
  Window w;
  const QString path = dir_.filePath(QStringLiteral("picture.png"));
  QVERIFY(w.win.SavePictureTo(path));
  QImage loaded(path);
  QCOMPARE(loaded.size(), w.picture.Image().size());
  QCOMPARE(loaded.convertToFormat(QImage::Format_RGB32), w.picture.Image());

  MessageCatcher catcher;
  QVERIFY(!w.win.SavePictureTo(dir_.filePath(QStringLiteral("no/such/dir/p.png"))));
  QCOMPARE(catcher.texts.size(), 1);
}

void MainWindowTest::afterARunFocusAndPictureAreWhole() {
  Window w;
  w.win.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w.win));
  w.win.edMaxTime->setText(QStringLiteral("0,01"));
  w.win.btnStart->click();
  // A stored stream line inside the channel, in the flow region that every
  // step's free-vortex layer erases.
  w.win.btnTraceStreamLine->click();
  QCOMPARE(w.model.StreamLineCount, 1);

  // Continue, clicked: the focus stays with the run buttons and comes back to
  // Continue, not to the X field with its text selected.
  w.win.edMaxTime->setText(QStringLiteral("0,03"));
  w.win.btnContinue->setFocus(Qt::MouseFocusReason);
  QWidget* duringRun = nullptr;
  QTimer::singleShot(0, &w.win, [&] { duringRun = QApplication::focusWidget(); });
  w.win.btnContinue->click();
  QCOMPARE(duringRun, static_cast<QWidget*>(w.win.btnStop));
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.win.btnContinue));
  QVERIFY(!w.win.edX->hasSelectedText());

  // The picture saved after the run is the whole picture: axes and the stream
  // line are back inside the flow region.
  const QString path = dir_.filePath(QStringLiteral("after_run.png"));
  QVERIFY(w.win.SavePictureTo(path));
  const QImage saved = QImage(path).convertToFormat(QImage::Format_RGB32);
  Picture whole(w.model);
  whole.DrawPicture(w.win.pbPicture->width(), w.win.pbPicture->height(), w.win.OriginX(),
                    w.win.OriginY(), w.win.Scale(), true, false, true, true);
  QVERIFY(saved == whole.Image().convertToFormat(QImage::Format_RGB32));
  int axisInChannel = 0;  // the axis row from the mouth to the suction section
  for (int x = whole.ScreenX(0.05L); x < whole.ScreenX(0.95L); ++x)
    if ((saved.pixel(x, whole.ScreenY(0)) | 0xff000000u) == kTeal) ++axisInChannel;
  QVERIFY2(axisInChannel > 200, qPrintable(QString::number(axisInChannel)));
  QVERIFY(CountColour(saved, kBlue) > 20);
}

void MainWindowTest::aboutBox() {
  // Every line of the description fits, in the application's font and in a
  // larger one: the box grows to its text rather than cutting "вихрей".
  const QFont appFont = QApplication::font();
  for (const int pixels : {0, 17}) {
    QFont font = appFont;
    if (pixels > 0) font.setPixelSize(pixels);
    QApplication::setFont(font);
    mdv::TfrmAbout box;
    const QLabel* text = box.lbDescription;
    const QSize need = text->fontMetrics().boundingRect(QRect(0, 0, 4000, 4000), 0, text->text()).size();
    QVERIFY2(text->width() >= need.width() && text->height() >= need.height(), qPrintable(QString::number(pixels)));
    QVERIFY(text->geometry().right() < box.width());
    QVERIFY(box.lbVersion->y() > text->geometry().bottom());
    QVERIFY(box.btnClose->y() > box.lbVersion->geometry().bottom());
  }
  QApplication::setFont(appFont);

  mdv::TfrmAbout about;
  QCOMPARE(about.windowTitle(), QStringLiteral("О программе"));
  QCOMPARE(mdv::TfrmAbout::DescriptionText(),
           QStringLiteral("Расчет отрывного течения \r\nу круглого отсоса-раструба, \r\n"
                          "расположенного над плоскостью,\r\nна основе метода дискретных вихрей"));
  QCOMPARE(about.lbDescription->text().count('\n'), 3);
  QCOMPARE(about.lbVersion->text(), QStringLiteral("Версия 1.1.0"));
  QCOMPARE(about.btnClose->text(), QStringLiteral("ОК"));

  // Opened modally from the main window; its button closes it.
  Window w;
  w.win.frmAbout = &about;
  bool shown = false;
  QTimer::singleShot(0, &about, [&] {
    shown = about.isVisible() && QApplication::activeModalWidget() == &about;
    about.btnClose->click();
  });
  w.win.miAbout->trigger();
  QVERIFY(shown);
  QVERIFY(!about.isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
