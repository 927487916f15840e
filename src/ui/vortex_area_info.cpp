#include "ui/vortex_area_info.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <functional>

#include "core/base/numfmt.h"
#include "ui/dialog_messages.h"
#include "ui/picture.h"
#include "ui/result_tips.h"

namespace mdv {

namespace {

constexpr int kImageWidth = 873;   // px
constexpr int kImageHeight = 265;  // px
const QColor kTraceColour(0, 0, 255);

QColor ToQColor(const MarkColour& c) { return QColor(c.R, c.G, c.B); }
QPoint ToQPoint(const ScreenPoint& p) { return QPoint(p.X, p.Y); }

// The window's traces go onto the shared picture as they are computed; the
// picture is shown again at every yield so the lines grow on the screen.
class TraceObserver : public Observer {
 public:
  TraceObserver(Picture& picture, std::function<void()> show)
      : picture_(picture), show_(std::move(show)) {}
  void TracePoint(const TRealPoint& p, bool first) override {
    if (first)
      picture_.MoveTo(p);
    else
      picture_.LineTo(p, kTraceColour);
  }
  void PumpEvents() override {
    show_();
    QCoreApplication::processEvents();
  }

 private:
  Picture& picture_;
  std::function<void()> show_;
};

QLineEdit* SettingEdit(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setFixedWidth(70);
  return e;
}

}  // namespace

TfrmVortexAreaInfo::TfrmVortexAreaInfo(Model& model, Picture& picture, QWidget* parent)
    : QDialog(parent), model_(model), picture_(picture) {
  setWindowTitle(QStringLiteral("Определение характеристик вихревой области"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  Image1 = new QLabel(this);
  Image1->setFixedSize(kImageWidth, kImageHeight);
  Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image1->setFrameShape(QFrame::NoFrame);

  // ---- " Рисунок " ----
  auto* gbPicture = new QGroupBox(QStringLiteral(" Рисунок "), this);
  btnRedraw = new QPushButton(QStringLiteral("Обновить рисунок"), gbPicture);
  cbFreeVrt = new QCheckBox(QStringLiteral("Свободные вихри"), gbPicture);
  cbFreeVrt->setChecked(true);
  cbAxes = new QCheckBox(QStringLiteral("Оси координат"), gbPicture);
  cbAxes->setChecked(true);
  auto* pv = new QVBoxLayout(gbPicture);
  pv->addWidget(btnRedraw);
  pv->addWidget(cbFreeVrt);
  pv->addWidget(cbAxes);
  pv->addStretch(1);

  // ---- " Расчет параметров вихревой структуры " ----
  auto* gbCalc = new QGroupBox(QStringLiteral(" Расчет параметров вихревой структуры "), this);
  btnCalculate = new QPushButton(QStringLiteral("Рассчитать параметры"), gbCalc);
  btnStopCalc = new QPushButton(QStringLiteral("Остановить"), gbCalc);
  StaticText1 = new QLabel(QStringLiteral(" Параметры не рассчитаны"), gbCalc);
  StaticText1->setFrameShape(QFrame::StyledPanel);
  StaticText1->setFrameShadow(QFrame::Sunken);
  // Wide enough for the longest status, so the window keeps its size.
  StaticText1->setMinimumWidth(
      StaticText1->fontMetrics().horizontalAdvance(QStringLiteral(" Расчет параметров был остановлен")) +
      16);
  vlResults = new QTableWidget(0, 2, gbCalc);
  vlResults->setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
  vlResults->verticalHeader()->hide();
  vlResults->verticalHeader()->setDefaultSectionSize(18);
  vlResults->horizontalHeader()->setStretchLastSection(true);
  vlResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
  vlResults->setSelectionBehavior(QAbstractItemView::SelectRows);
  vlResults->setMinimumSize(230, 7 * 18 + 26);
  auto* cg = new QGridLayout(gbCalc);
  cg->addWidget(btnCalculate, 0, 0);
  cg->addWidget(btnStopCalc, 0, 1);
  cg->addWidget(new QLabel(QStringLiteral(" Ход расчета:"), gbCalc), 1, 0);
  cg->addWidget(StaticText1, 1, 1);
  cg->addWidget(new QLabel(QStringLiteral("Результаты расчета:"), gbCalc), 2, 0, 1, 2);
  cg->addWidget(vlResults, 3, 0, 1, 2);

  // ---- " Настройка расчета параметров " ----
  auto* gbSettings = new QGroupBox(QStringLiteral(" Настройка расчета параметров "), this);
  edFirstX = SettingEdit(gbSettings);
  edFirstY = SettingEdit(gbSettings);
  edSecondX = SettingEdit(gbSettings);
  edSecondY = SettingEdit(gbSettings);
  edDt = SettingEdit(gbSettings);
  auto* sg = new QGridLayout(gbSettings);
  auto pointRow = [&](int row, const QString& caption, QLineEdit* x, QLineEdit* y) {
    sg->addWidget(new QLabel(caption, gbSettings), row, 0, 1, 6);
    sg->addWidget(new QLabel(QStringLiteral("X ="), gbSettings), row + 1, 0);
    sg->addWidget(x, row + 1, 1);
    sg->addWidget(new QLabel(QStringLiteral("м"), gbSettings), row + 1, 2);
    sg->addWidget(new QLabel(QStringLiteral("Y ="), gbSettings), row + 1, 3);
    sg->addWidget(y, row + 1, 4);
    sg->addWidget(new QLabel(QStringLiteral("м"), gbSettings), row + 1, 5);
  };
  pointRow(0, QStringLiteral("Начальная точка построения 1-й линии тока"), edFirstX, edFirstY);
  pointRow(2, QStringLiteral("Начальная точка построения 2-й линии тока"), edSecondX, edSecondY);
  sg->addWidget(new QLabel(QStringLiteral("Шаг построения линий тока"), gbSettings), 4, 0, 1, 6);
  sg->addWidget(edDt, 5, 1);
  sg->addWidget(new QLabel(QStringLiteral("сек"), gbSettings), 5, 2);
  sg->setRowStretch(6, 1);
  sg->setColumnStretch(6, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(gbPicture);
  bottom->addWidget(gbCalc, 1);
  bottom->addWidget(gbSettings, 1);

  auto* v = new QVBoxLayout(this);
  v->addWidget(Image1, 0, Qt::AlignHCenter);
  v->addLayout(bottom);
  v->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnRedraw, &QPushButton::clicked, this, &TfrmVortexAreaInfo::btnRedrawClick);
  connect(btnCalculate, &QPushButton::clicked, this, &TfrmVortexAreaInfo::btnCalculateClick);
  connect(btnStopCalc, &QPushButton::clicked, this, &TfrmVortexAreaInfo::btnStopCalcClick);
}

QString TfrmVortexAreaInfo::NoVortexStructureText() {
  return QStringLiteral("Не задана вихревая структура");
}

QString TfrmVortexAreaInfo::BadSettingsText() {
  return QStringLiteral("Ошибка при задании настроек");
}

void TfrmVortexAreaInfo::showEvent(QShowEvent* event) {
  FillSettings();
  // The first showing has no picture yet; later ones keep what the last
  // computation or redraw left until the next one.
  if (!drawn_) btnRedrawClick();
  QDialog::showEvent(event);
}

void TfrmVortexAreaInfo::FillSettings() {
  const VortexAreaStartTexts t = DefaultVortexAreaStart(model_);
  edFirstX->setText(QString::fromStdString(t.FirstX));
  edFirstY->setText(QString::fromStdString(t.FirstY));
  edSecondX->setText(QString::fromStdString(t.SecondX));
  edSecondY->setText(QString::fromStdString(t.SecondY));
  edDt->setText(QString::fromStdString(t.Dt));
}

void TfrmVortexAreaInfo::ShowPicture() { Image1->setPixmap(QPixmap::fromImage(picture_.Image())); }

void TfrmVortexAreaInfo::btnRedrawClick() {
  const int w = Image1->width();
  const int h = Image1->height();
  const Real scale = VortexAreaScale(model_, w, h);
  int32_t ox = 0;
  int32_t oy = 0;
  VortexAreaOrigin(model_, w, h, scale, ox, oy);
  picture_.DrawPicture(w, h, ox, oy, scale, cbFreeVrt->isChecked(), false, cbAxes->isChecked(),
                       true);
  ShowPicture();
  drawn_ = true;
}

void TfrmVortexAreaInfo::btnStopCalcClick() { model_.AreaCalcStopRequested = true; }

void TfrmVortexAreaInfo::done(int r) {
  if (calculating_) model_.AreaCalcStopRequested = true;
  QDialog::done(r);
}

void TfrmVortexAreaInfo::btnCalculateClick() {
  if (calculating_) return;
  // After a settings error the status keeps this text: the results listed
  // below it are not those of the settings now in the fields.
  StaticText1->setText(QStringLiteral(" Идет расчет параметров..."));

  // The settings in the order first x, first y, second x, second y, step.
  const QLineEdit* edits[] = {edFirstX, edFirstY, edSecondX, edSecondY, edDt};
  Real v[5] = {};
  for (int i = 0; i < 5; ++i) {
    const auto value = ParseReal(edits[i]->text().toStdString());
    if (!value) {
      ShowMessage(this, BadSettingsText());
      return;
    }
    v[i] = *value;
  }

  btnRedrawClick();
  calculating_ = true;
  btnCalculate->setEnabled(false);
  btnRedraw->setEnabled(false);
  result_ = TVortexAreaParams{};
  TraceObserver obs(picture_, [this]() { ShowPicture(); });
  outcome_ = CalcVortexAreaParams(model_, TRealPoint{v[0], v[1]}, TRealPoint{v[2], v[3]}, result_,
                                  v[4], obs);
  calculating_ = false;
  btnCalculate->setEnabled(true);
  btnRedraw->setEnabled(true);

  if (!outcome_.Ok && !outcome_.Stopped) {
    ShowMessage(this, outcome_.Error.empty()
                          ? BadSettingsText()
                          : BadSettingsText() + QStringLiteral(":\r") +
                                QString::fromStdString(outcome_.Error));
  } else if (outcome_.Stopped) {
    SetResults({});
    StaticText1->setText(QStringLiteral(" Расчет параметров был остановлен"));
  } else {
    DrawMarks();
    SetResults(VortexAreaRows(result_, outcome_.FailedRows));
    StaticText1->setText(QStringLiteral(" Расчет параметров завершен"));
  }
  ShowPicture();
}

void TfrmVortexAreaInfo::DrawMarks() {
  const ScreenMap map{picture_.PicScale(), picture_.PicOriginX(), picture_.PicOriginY()};
  const std::vector<MarkItem> marks = VortexAreaMarks(model_, result_, map, outcome_.FailedRows);
  QImage& image = picture_.Image();
  if (image.isNull()) return;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(Qt::white);
  for (const MarkItem& m : marks) {
    const QColor colour = ToQColor(m.Colour);
    p.setPen(QPen(colour, 0, Qt::SolidLine));
    const QPoint a = ToQPoint(m.A);
    const QPoint b = ToQPoint(m.B);
    switch (m.Kind) {
      case MarkKind::Line:
        Picture::DrawLineTo(p, a, b);
        break;
      case MarkKind::Dot:
        // The box's right and bottom edges are exclusive.
        p.drawEllipse(QRect(a, QSize(b.x() - a.x() - 1, b.y() - a.y() - 1)));
        break;
      case MarkKind::Text:
        p.setBackgroundMode(Qt::TransparentMode);
        p.drawText(QRect(a, QSize(200, 40)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                   QString::fromStdString(m.Text));
        break;
    }
  }
}

void TfrmVortexAreaInfo::SetResults(const std::vector<VortexAreaRow>& rows) {
  vlResults->setRowCount(0);
  vlResults->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const QString label = QString::fromStdString(rows[r].Label);
    vlResults->setItem(r, 0, new QTableWidgetItem(label));
    vlResults->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(rows[r].Value)));
    for (int c = 0; c < 2; ++c) vlResults->item(r, c)->setToolTip(ZoneDimensionTip(label));
  }
}

}  // namespace mdv
