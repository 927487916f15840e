#include "ui/area_params.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <optional>

#include "core/model/area_validation.h"
#include "core/model/model.h"
#include "core/base/numfmt.h"
#include "ui/dialog_messages.h"

namespace mdv {

namespace {

QString General(Real v) { return QString::fromStdString(FormatGeneral(v)); }
std::optional<Real> Read(const QLineEdit* e) { return ParseReal(e->text().toStdString()); }

}  // namespace

TfrmAreaParams::TfrmAreaParams(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Конфигурация области"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  grid_ = new QWidget(this);
  auto* g = new QGridLayout(grid_);
  g->setContentsMargins(0, 0, 0, 0);
  g->setVerticalSpacing(4);
  edH = AddField(QStringLiteral("Расстояние между расчетными\nточками и присоед. вихрями, м"), 0);
  edB = AddField(QStringLiteral("Полуширина отсоса (В), м"), 1);
  edL = AddField(QStringLiteral("Абцисса всасывающего\nотрезка (L), м"), 2);
  edLL = AddField(QStringLiteral("Длина всасывающего\nканала (LL), м"), 3);
  ed_l = AddField(QStringLiteral("Длина козырька (l), м"), 4);
  edAlpha = AddField(QStringLiteral("Угол наклона козырька \n(Alpha), град"), 5);
  edSpeed = AddField(QStringLiteral("Скорость воздуха в отсосе, м/с"), 6);
  edInSpeed = AddField(QStringLiteral("Скорость приточного воздуха, м/с"), 7);
  edIL = AddField(QStringLiteral("Толщина стенок, м"), 8);
  edPL = AddField(QStringLiteral("Полудлина плоскости, м"), 9);
  edPx = AddField(QStringLiteral("Абсцисса расположения\nплоскости, м"), 10);

  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);

  auto* buttons = OkCancelRow(this, btnOk, btnCancel);
  btnOk->setMinimumWidth(121);
  btnCancel->setMinimumWidth(121);
  buttons->insertStretch(1, 1);

  auto* v = new QVBoxLayout(this);
  v->addWidget(grid_);
  v->addWidget(bevel);
  v->addLayout(buttons);
  v->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnOk, &QPushButton::clicked, this, &TfrmAreaParams::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmAreaParams::reject);
  FillFromModel(Model{});
}

QLineEdit* TfrmAreaParams::AddField(const QString& label, int row) {
  auto* g = static_cast<QGridLayout*>(grid_->layout());
  auto* edit = new QLineEdit(grid_);
  edit->setFixedWidth(92);
  auto* text = new QLabel(label, grid_);
  text->setBuddy(edit);
  g->addWidget(text, row, 0);
  g->addWidget(edit, row, 1, Qt::AlignVCenter);
  return edit;
}

void TfrmAreaParams::FillFromModel(const Model& m) {
  edH->setText(General(m.VortexSpacing));
  edB->setText(General(m.ChannelRadius));
  edL->setText(General(m.SuctionX));
  edLL->setText(General(m.ChannelLength));
  ed_l->setText(General(m.FlangeLength));
  edAlpha->setText(QString::fromStdString(FormatFixed(m.FlangeAngle * 180 / Pi, 4, 2)));
  edSpeed->setText(General(m.SuctionSpeed));
  edInSpeed->setText(General(m.InflowSpeed));
  edIL->setText(General(m.WallThickness));
  edPL->setText(General(m.PlaneHalfLength));
  edPx->setText(General(m.PlaneX));
}

bool TfrmAreaParams::ReadFields(AreaParameters& p) const {
  // The order of the OK handler's reading; the first field that is not a
  // number stops it.
  const std::pair<const QLineEdit*, Real*> fields[] = {
      {edH, &p.VortexSpacing},    {edSpeed, &p.SuctionSpeed}, {edB, &p.ChannelRadius},
      {edL, &p.SuctionX},         {edLL, &p.ChannelLength},   {ed_l, &p.FlangeLength},
      {edAlpha, &p.FlangeAngle},  {edIL, &p.WallThickness},   {edInSpeed, &p.InflowSpeed},
      {edPL, &p.PlaneHalfLength}, {edPx, &p.PlaneX}};
  for (const auto& [edit, target] : fields) {
    const auto value = Read(edit);
    if (!value) return false;
    *target = *value;
  }
  p.FlangeAngle = p.FlangeAngle / 180 * Pi;  // degrees in the field, radians in the model
  return true;
}

void TfrmAreaParams::StoreToModel(Model& m) const {
  AreaParameters p;
  if (ReadFields(p)) SetAreaParameters(m, p);
}

QString TfrmAreaParams::ValidationMessage() const {
  AreaParameters p;
  if (!ReadFields(p)) return ParseErrorText();
  return QString::fromStdString(ValidateAreaParameters(p));
}

QString TfrmAreaParams::ParseErrorText() {
  return QStringLiteral("Ошибка при задании параметров");
}

QString TfrmAreaParams::ConfirmText() {
  return QStringLiteral(
      "Изменение конфигурации области приведет к потере\rнесохраненных результатов "
      "моделирования.\rПродолжить?");
}

void TfrmAreaParams::accept() {
  const QString message = ValidationMessage();
  if (!message.isEmpty()) {
    ShowMessage(this, message);
    return;  // the dialog stays open with the typed values
  }
  if (!AskYesNo(this, ConfirmText())) return;
  QDialog::accept();
}

bool TfrmAreaParams::Execute(Model& m) { return Execute(m, AreaParametersOf(m)); }

bool TfrmAreaParams::Execute(Model& m, const AreaParameters& shown) {
  Model fields;
  SetAreaParameters(fields, shown);
  FillFromModel(fields);
  if (exec() != QDialog::Accepted) return false;
  StoreToModel(m);
  m.FreeVortexCount = 0;
  m.Time = 0;
  return true;
}

}  // namespace mdv
