#pragma once
// Drives the modal windows a test action opens: a timer polls for the next
// active modal widget and answers it, so the test never blocks in exec().
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QTranslator>
#include <functional>
#include <memory>

namespace mdv::test {

struct SeenBox {
  bool Seen = false;
  QString Text;
  QStringList ButtonTexts;
  QPointer<QTimer> Timer;  // stops polling when the test lets go of the record
  ~SeenBox() {
    if (Timer) {
      Timer->stop();
      Timer->deleteLater();
    }
  }
};

// Polls every 10 ms, for at most 10 s, until `match` accepts the active modal
// widget, then runs `action` on it once. The poll ends early when `owner`
// (by default the application) is destroyed.
inline QTimer* WhenModal(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> action,
                         QObject* owner = nullptr) {
  auto* timer = new QTimer(owner ? owner : qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, match, action]() {
    QWidget* w = QApplication::activeModalWidget();
    if (w && match(w)) {
      timer->stop();
      timer->deleteLater();
      action(w);
    } else if (clock->elapsed() > 10000) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
  return timer;
}

// Answers the next message box with `button` and records what it said; the
// answer is given only while the caller holds the record.
[[nodiscard]] inline std::shared_ptr<SeenBox> AnswerNextBox(QMessageBox::StandardButton button = QMessageBox::Ok) {
  auto seen = std::make_shared<SeenBox>();
  std::weak_ptr<SeenBox> record = seen;
  seen->Timer = WhenModal(
      [](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
            [record, button](QWidget* w) {
              auto* box = qobject_cast<QMessageBox*>(w);
              auto seen = record.lock();
              if (!seen) return;
              seen->Seen = true;
              seen->Text = box->text();
              for (QAbstractButton* b : box->buttons()) seen->ButtonTexts << b->text();
              if (QAbstractButton* b = box->button(button))
                b->click();
              else
                box->reject();
            });
  return seen;
}

// Runs `action` once `dialog` is shown modally (e.g. edit controls, press a button).
inline void WhenDialogShown(QDialog* dialog, std::function<void()> action) {
  WhenModal([dialog](QWidget* w) { return w == dialog; }, [action](QWidget*) { action(); },
            dialog);
}

// Qt's own Russian texts (standard buttons "Да", "Нет", "Отмена"), as the program loads them.
inline bool LoadRussianQtTranslation() {
  static QTranslator translator;
  if (!translator.load(QStringLiteral("qtbase_ru"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  return QCoreApplication::installTranslator(&translator);
}

// The message text as a box shows it (CR line breaks become new lines).
inline QString Shown(const QString& programText) {
  QString s = programText;
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

}  // namespace mdv::test
