#include "ui/break_pnt_intervals.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/dialog_messages.h"

namespace mdv {

namespace {

QWidget* IntervalPage(QSpinBox*& spin, QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* v = new QVBoxLayout(page);
  v->addWidget(new QLabel(
      QStringLiteral("Количество шагов моделирования между\nвозникновением вихрей"), page));
  spin = new QSpinBox(page);
  spin->setRange(0, 100);
  spin->setValue(0);
  v->addWidget(spin, 0, Qt::AlignLeft);
  v->addStretch(1);
  return page;
}

}  // namespace

TfrmBreakPntIntervals::TfrmBreakPntIntervals(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Точки отрыва"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* group = new QGroupBox(QStringLiteral(" Интервалы срыва вихрей с точек отрыва "), this);
  pcIntervals = new QTabWidget(group);
  pcIntervals->setDocumentMode(true);  // flat, button-like tabs
  pcIntervals->addTab(IntervalPage(edUpperInterval, pcIntervals), QStringLiteral("Верхняя точка"));
  pcIntervals->addTab(IntervalPage(edLowerInterval, pcIntervals), QStringLiteral("Нижняя точка"));
  auto* g = new QVBoxLayout(group);
  g->addWidget(pcIntervals);

  auto* buttons = OkCancelRow(this, btnOk, btnCancel);

  auto* v = new QVBoxLayout(this);
  v->addWidget(group);
  v->addLayout(buttons);
  v->setSizeConstraint(QLayout::SetFixedSize);

  for (QSpinBox* s : {edUpperInterval, edLowerInterval}) {
    s->installEventFilter(this);
    s->findChild<QLineEdit*>()->installEventFilter(this);
  }
  connect(btnOk, &QPushButton::clicked, this, &TfrmBreakPntIntervals::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfrmBreakPntIntervals::reject);
}

bool TfrmBreakPntIntervals::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Characters (Backspace included) are dropped; arrows, Tab, Enter and
    // Escape keep their dialog meaning.
    const int k = key->key();
    const bool dialogKey = k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Escape ||
                           k == Qt::Key_Tab || k == Qt::Key_Backtab;
    if (!key->text().isEmpty() && !dialogKey) return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace mdv
