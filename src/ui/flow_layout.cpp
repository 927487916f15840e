#include "ui/flow_layout.h"

#include <algorithm>

#include <QStyle>
#include <QWidget>

namespace mdv {

FlowLayout::FlowLayout(QWidget* parent) : QLayout(parent) {}

FlowLayout::~FlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) { items_.append(item); }

QLayoutItem* FlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int FlowLayout::Spacing() const {
  if (spacing() >= 0) return spacing();
  const QWidget* w = parentWidget();
  return w != nullptr ? w->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, w) : 6;
}

// The widest item: no row can be narrower.
QSize FlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

// All in one row.
QSize FlowLayout::sizeHint() const {
  int width = 0, height = 0;
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    width += (width > 0 ? Spacing() : 0) + item->sizeHint().width();
    height = std::max(height, item->sizeHint().height());
  }
  const QMargins m = contentsMargins();
  return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, true);
}

int FlowLayout::Arrange(const QRect& rect, bool place) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  const int gap = Spacing();
  // Rows first (which items share one), then their places from the right.
  QList<QList<QLayoutItem*>> rows(1);
  int used = 0;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const int w = item->sizeHint().width();
    if (!rows.back().isEmpty() && used + gap + w > area.width()) {
      rows.append(QList<QLayoutItem*>());
      used = 0;
    }
    used += (rows.back().isEmpty() ? 0 : gap) + w;
    rows.back().append(item);
  }
  int y = area.y();
  for (const QList<QLayoutItem*>& row : rows) {
    if (row.isEmpty()) continue;
    int width = 0, height = 0;
    for (const QLayoutItem* item : row) {
      width += (width > 0 ? gap : 0) + item->sizeHint().width();
      height = std::max(height, item->sizeHint().height());
    }
    int x = area.x() + std::max(0, area.width() - width);
    for (QLayoutItem* item : row) {
      const QSize hint = item->sizeHint();
      if (place) item->setGeometry(QRect(QPoint(x, y), QSize(std::min(hint.width(), area.width()), height)));
      x += hint.width() + gap;
    }
    y += height + gap;
  }
  const QMargins m = contentsMargins();
  return std::max(0, y - gap - area.y()) + m.top() + m.bottom();
}

}  // namespace mdv
