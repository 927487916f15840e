#pragma once
// A one-line label that, when its text does not fit, shows as much as fits
// followed by "…" instead of cutting the text at the edge (text() keeps the
// whole text; the owner puts it in the tool tip too).
#include <QLabel>

namespace mdv {

class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ElidedLabel(QWidget* parent = nullptr);
  // The text as painted at the present width.
  QString ShownText() const;
  // Room for "…" alone: a layout short of space may shrink it that far,
  // while its size hint asks for the whole text.
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace mdv
