#pragma once
// A file-name field with a button beside it that opens a save-file dialog.
// The text is taken as typed; whether the file can be written is found out
// only when it is written.
#include <QString>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace mdv {

class FileNameEdit : public QWidget {
  Q_OBJECT
 public:
  // filter in Qt's form, e.g. "Pulsation files (*.pls)"; defaultSuffix without the dot.
  FileNameEdit(const QString& text, const QString& dialogTitle, const QString& filter,
               const QString& defaultSuffix, QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);
  QLineEdit* lineEdit() const { return edit_; }
  QToolButton* browseButton() const { return button_; }
  QString dialogTitle() const { return title_; }
  QString filter() const { return filter_; }
  QString defaultSuffix() const { return suffix_; }

 public slots:
  // Runs the save dialog; a confirmed choice replaces the text.
  void Browse();

 private:
  QLineEdit* edit_;
  QToolButton* button_;
  QString title_;
  QString filter_;
  QString suffix_;
};

}  // namespace mdv
