// The main window's picture and what the user does with it: the zoom tool
// bar ("Увеличить", "Уменьшить", "Исходный"), the paint box that follows the
// window's edges, panning by dragging, and the " Рисунок: " group whose check
// boxes and vortex size redraw it (btnDrawClick).
#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSpacerItem>
#include <QSpinBox>
#include <QToolBar>
#include <algorithm>

#include "ui/main_window.h"
#include "ui/picture.h"

namespace mdv {

namespace {

// The picture area's left edge in the central area, right of the controls.
constexpr int kPictureLeft = 254;

constexpr Real kInitialScale = 400;  // px/m
constexpr int32_t kInitialOriginX = 210;
constexpr Real kZoomFactor = 1.2L;

// The tool-bar glyphs, drawn once: a magnifier with "+", with "−", and with
// "1" for the initial scale.
QIcon MagnifierIcon(int sign) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(40, 40, 40), 1.6));
  p.setBrush(QColor(215, 235, 250));
  p.drawEllipse(QRectF(1.5, 1.5, 9.5, 9.5));
  p.setPen(QPen(QColor(90, 60, 30), 3.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(10.5, 10.5), QPointF(14.2, 14.2));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(QColor(0, 0, 0), 1));
  if (sign != 0) p.drawLine(4, 6, 8, 6);
  if (sign > 0) p.drawLine(6, 4, 6, 8);
  if (sign == 0) {
    p.drawLine(6, 3, 6, 8);
    p.drawLine(5, 4, 6, 3);
  }
  p.end();
  return QIcon(pm);
}

}  // namespace

// ---- PictureBox ----

PictureBox::PictureBox(const Picture& picture, QWidget* parent)
    : QWidget(parent), picture_(picture) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::PointingHandCursor);
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, picture_.Image());
}

void PictureBox::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit mousePressed(at.x(), at.y());
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit mouseMoved(at.x(), at.y());
}

void PictureBox::mouseReleaseEvent(QMouseEvent*) { emit mouseReleased(); }

// ---- the picture area ----

void TfrmMain::BuildPictureArea() {
  QWidget* c = central_;
  miZoomIn->setIcon(MagnifierIcon(+1));
  miZoomOut->setIcon(MagnifierIcon(-1));
  miZoomNo->setIcon(MagnifierIcon(0));

  tbZoom = new QToolBar(c);
  tbZoom->setObjectName(QStringLiteral("tbZoom"));
  tbZoom->setIconSize(QSize(16, 16));
  tbZoom->setMovable(false);
  tbZoom->setFloatable(false);
  tbZoom->addAction(miZoomIn);
  tbZoom->addAction(miZoomOut);
  tbZoom->addAction(miZoomNo);

  bvPicture = new QFrame(c);
  bvPicture->setObjectName(QStringLiteral("bvPicture"));
  bvPicture->setFrameShape(QFrame::Box);
  bvPicture->setFrameShadow(QFrame::Sunken);

  pbPicture = new PictureBox(picture_, c);
  pbPicture->setObjectName(QStringLiteral("pbPicture"));
  connect(pbPicture, &PictureBox::resized, this, &TfrmMain::btnDrawClick);
  connect(pbPicture, &PictureBox::mousePressed, this, &TfrmMain::PictureMousePressed);
  connect(pbPicture, &PictureBox::mouseMoved, this, &TfrmMain::PictureMouseMoved);
  connect(pbPicture, &PictureBox::mouseReleased, this, [this] { Dragging_ = false; });

  gbPicture = new QGroupBox(QStringLiteral(" Рисунок: "), c);
  gbPicture->setObjectName(QStringLiteral("gbPicture"));
  {
    auto* h = new QHBoxLayout(gbPicture);
    h->setContentsMargins(8, 1, 8, 3);
    h->setSpacing(6);
    cbDrawFreeVortexes = new QCheckBox(QStringLiteral("Свободные вихри"), gbPicture);
    cbDrawFreeVortexes->setObjectName(QStringLiteral("cbDrawFreeVortexes"));
    cbDrawFreeVortexes->setChecked(true);
    edVortexSize = new QSpinBox(gbPicture);
    edVortexSize->setObjectName(QStringLiteral("edVortexSize"));
    edVortexSize->setRange(1, 3);
    edVortexSize->setValue(1);
    cbDrawFixedVortexes = new QCheckBox(QStringLiteral("Присоединенные вихри"), gbPicture);
    cbDrawFixedVortexes->setObjectName(QStringLiteral("cbDrawFixedVortexes"));
    cbDrawFixedVortexes->setChecked(false);
    cbDrawAxes = new QCheckBox(QStringLiteral("Оси координат"), gbPicture);
    cbDrawAxes->setObjectName(QStringLiteral("cbDrawAxes"));
    cbDrawAxes->setChecked(true);
    // The gaps give way first in a narrow window, so that no caption is cut.
    const auto gap = [h](int width) { h->addSpacerItem(new QSpacerItem(width, 0, QSizePolicy::Preferred)); };
    h->addWidget(cbDrawFreeVortexes);
    gap(10);
    h->addWidget(new QLabel(QStringLiteral("Размер вихрей:"), gbPicture));
    h->addWidget(edVortexSize);
    gap(20);
    h->addWidget(cbDrawFixedVortexes);
    gap(20);
    h->addWidget(cbDrawAxes);
    h->addStretch(1);
  }
  connect(cbDrawFreeVortexes, &QCheckBox::clicked, this, &TfrmMain::btnDrawClick);
  connect(cbDrawFixedVortexes, &QCheckBox::clicked, this, &TfrmMain::btnDrawClick);
  connect(cbDrawAxes, &QCheckBox::clicked, this, &TfrmMain::btnDrawClick);
  connect(edVortexSize, &QSpinBox::valueChanged, this, &TfrmMain::edVortexSizeChange);
}

void TfrmMain::LayoutPictureArea() {
  if (!central_ || !pbPicture) return;
  const int w = central_->width();
  const int h = central_->height();
  // Margins of the design (938 x 479 central area): tool bar and bevel end 5
  // pixels from the right edge, the paint box 11; the bevel ends 53 pixels
  // above the bottom, the paint box 58, the picture group 9.
  tbZoom->setGeometry(kPictureLeft, 10, std::max(w - kPictureLeft - 5, 10), 24);
  bvPicture->setGeometry(kPictureLeft, 36, std::max(w - kPictureLeft - 5, 10),
                         std::max(h - 36 - 53, 10));
  pbPicture->setGeometry(kPictureLeft + 5, 42, std::max(w - kPictureLeft - 5 - 11, 10),
                         std::max(h - 42 - 58, 10));
  gbPicture->setGeometry(kPictureLeft, h - 9 - 42, std::max(w - kPictureLeft - 5, 10), 42);
}
// ---- picture ----

void TfrmMain::btnDrawClick() {
  picture_.DrawPicture(pbPicture->width(), pbPicture->height(), OriginX_, OriginY_, Scale_,
                       cbDrawFreeVortexes->isChecked(), cbDrawFixedVortexes->isChecked(),
                       cbDrawAxes->isChecked(), true);
  if (pbPicture->isVisible()) {
    pbPicture->repaint();
  } else {
    pbPicture->update();
  }
}

void TfrmMain::Zoom(Real factor, bool enlarge) {
  const Real halfW = static_cast<Real>(pbPicture->width()) / 2;
  const Real halfH = static_cast<Real>(pbPicture->height()) / 2;
  if (enlarge) {
    Scale_ = Scale_ * factor;
    OriginX_ = RoundPixel(halfW - (halfW - OriginX_) * factor);
    OriginY_ = RoundPixel(halfH - (halfH - OriginY_) * factor);
  } else {
    Scale_ = Scale_ / factor;
    OriginX_ = RoundPixel(halfW - (halfW - OriginX_) / factor);
    OriginY_ = RoundPixel(halfH - (halfH - OriginY_) / factor);
  }
  btnDrawClick();
}

void TfrmMain::miZoomInClick() { Zoom(kZoomFactor, true); }
void TfrmMain::miZoomOutClick() { Zoom(kZoomFactor, false); }

void TfrmMain::ResetView() {
  if (model_.ContourArea) {
    // A contour may be of any size and anywhere: the view that shows it whole.
    const PictureView v = FitAreaView(model_, pbPicture->width(), pbPicture->height());
    Scale_ = v.Scale;
    OriginX_ = v.OriginX;
    OriginY_ = v.OriginY;
    return;
  }
  Scale_ = kInitialScale;
  OriginX_ = kInitialOriginX;
  OriginY_ = pbPicture->height() / 2 + 100;
}

void TfrmMain::miZoomNoClick() {
  ResetView();
  btnDrawClick();
}

void TfrmMain::PictureMousePressed(int x, int y) {
  Dragging_ = true;
  DragX_ = x;
  DragY_ = y;
}

void TfrmMain::PictureMouseMoved(int x, int y) {
  if (!Dragging_) return;
  OriginX_ += x - DragX_;
  OriginY_ += y - DragY_;
  DragX_ = x;
  DragY_ = y;
  btnDrawClick();
}

void TfrmMain::edVortexSizeChange() {
  picture_.SetVortexMarkSize(edVortexSize->value());
  btnDrawClick();
}

}  // namespace mdv
