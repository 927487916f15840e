#include "ui/file_name_edit.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

namespace mdv {

FileNameEdit::FileNameEdit(const QString& text, const QString& dialogTitle, const QString& filter,
                           const QString& defaultSuffix, QWidget* parent)
    : QWidget(parent), title_(dialogTitle), filter_(filter), suffix_(defaultSuffix) {
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(2);
  edit_ = new QLineEdit(text, this);
  button_ = new QToolButton(this);
  button_->setText(QStringLiteral("..."));
  button_->setToolTip(dialogTitle);
  lay->addWidget(edit_, 1);
  lay->addWidget(button_);
  setFocusProxy(edit_);
  connect(button_, &QToolButton::clicked, this, &FileNameEdit::Browse);
}

QString FileNameEdit::text() const { return edit_->text(); }

void FileNameEdit::setText(const QString& text) { edit_->setText(text); }

void FileNameEdit::Browse() {
  QFileDialog dlg(window(), title_);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter(filter_);
  dlg.setDefaultSuffix(suffix_);
  const QFileInfo current(edit_->text());
  if (!edit_->text().isEmpty()) {
    dlg.setDirectory(current.absolutePath());
    dlg.selectFile(current.fileName());
  }
  if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
    edit_->setText(dlg.selectedFiles().constFirst());
}

}  // namespace mdv
