#pragma once
// The message boxes of the dialogs and result windows. Message texts keep the
// program's CR line breaks; they are shown as line breaks.
#include <QString>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace mdv {

// "\r\n" and "\r" become "\n" for display.
QString MessageDisplayText(const QString& text);
// An information box with OK.
void ShowMessage(QWidget* parent, const QString& text);
// A confirmation box with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);
// A warning box with OK, for files that could not be read or written.
void ShowError(QWidget* parent, const QString& text);

// The OK and "Отмена" buttons of a dialog, OK the default, in a row for its layout.
QHBoxLayout* OkCancelRow(QWidget* dialog, QPushButton*& ok, QPushButton*& cancel);

}  // namespace mdv
