#include "ui/dialog_messages.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QMessageBox>

namespace mdv {

QString MessageDisplayText(const QString& text) {
  QString s = text;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

void ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(),
                  MessageDisplayText(text), QMessageBox::Ok, parent);
  box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                  MessageDisplayText(text), QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                  MessageDisplayText(text), QMessageBox::Ok, parent);
  box.exec();
}

QHBoxLayout* OkCancelRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel) {
  ok = new QPushButton(QStringLiteral("OK"), dialog);
  ok->setDefault(true);
  cancel = new QPushButton(QStringLiteral("Отмена"), dialog);
  auto* row = new QHBoxLayout;
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

}  // namespace mdv
