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

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  style()->drawItemText(&p, contentsRect(), static_cast<int>(alignment()), palette(), isEnabled(),
                        ShownText(), foregroundRole());
}

}  // namespace mdv
