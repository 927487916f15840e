#include "ui/elided_label.h"

#include <QPainter>
#include <QStyle>

namespace mdv {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  // Any width will do: the text is shortened to it.
  setMinimumWidth(0);
}

QString ElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const {
  QSize s = QLabel::minimumSizeHint();
  const QMargins m = contentsMargins();
  s.setWidth(fontMetrics().horizontalAdvance(QString(QChar(0x2026))) + m.left() + m.right() + 2 * margin());
  return s;
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  style()->drawItemText(&p, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(),
                        ShownText(), foregroundRole());
}

}  // namespace mdv
