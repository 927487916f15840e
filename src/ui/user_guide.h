#pragma once
// "Руководство пользователя" (F1) in the Справка menu: the Russian guide
// (docs/guide/index.html, installed under share/rinfet-mdv/guide) in a
// window of its own that is not modal, so that the guide stays open beside
// the windows it describes.
#include <QDialog>
#include <QString>

class QAction;
class QMainWindow;
class QTextBrowser;

namespace mdv {

// The guide's first page: beside the program as installed
// (<prefix>/bin/../share/rinfet-mdv/guide/index.html), else in the source
// tree the program was built from; empty when neither is there.
QString UserGuidePath();

class TfrmGuide : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmGuide(QWidget* parent = nullptr);
  // Opens the guide's first page; says where it was looked for when it is missing.
  void OpenGuide();
  QTextBrowser* Browser;
};

// Adds "Руководство пользователя" with F1 before "О программе" of the
// window's menu "Справка" (objectName "mnHelp"); the window is made when
// first asked for.
class UserGuide : public QObject {
  Q_OBJECT
 public:
  explicit UserGuide(QMainWindow& w);
  QAction* miGuide;
  TfrmGuide* Window() const { return window_; }

 public slots:
  void miGuideClick();

 private:
  QMainWindow& w_;
  TfrmGuide* window_ = nullptr;
};

}  // namespace mdv
