#pragma once
// A row of widgets that wraps onto further rows when the window is too
// narrow for it (a button row at a large scale factor or on a small
// screen). Items keep their size hints and each row is pushed to the right
// edge, as a dialog's buttons; a stretch is not supported.
#include <QLayout>
#include <QList>

namespace mdv {

class FlowLayout : public QLayout {
 public:
  explicit FlowLayout(QWidget* parent = nullptr);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override { return items_.value(index); }
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return Arrange(QRect(0, 0, width, 0), false); }
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items row by row within rect (when `place`); returns the height used.
  int Arrange(const QRect& rect, bool place) const;
  int Spacing() const;

  QList<QLayoutItem*> items_;
};

}  // namespace mdv
