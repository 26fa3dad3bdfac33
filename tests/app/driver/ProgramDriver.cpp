// Stands in for the person at the screen of the real PVRJ in end-to-end tests. Loaded into the
// program with LD_PRELOAD, it watches windows appear, presses the buttons its plan names and
// answers message boxes; every window and box it sees goes to stderr ("driver: ...") for the test
// to read.
//
// PVRJ_TEST_DRIVER chooses the plan:
//   watch  press nothing
//   quit   press 終了 once the main window shows
//   table  press テーブル once the main window shows, then 終了 once the table window shows
//   press:NAME  press the main window's button NAME once it shows (the screenshot scripts)
// Under every plan the quit question is answered Yes, any other box with its first button.
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

void say(const QString& text) {
  std::fprintf(stderr, "driver: %s\n", text.toUtf8().constData());
  std::fflush(stderr);
}

// Presses a tool bar button of the main window, from the event loop.
void press(const char* button) {
  QTimer::singleShot(0, qApp, [button] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->objectName() != QLatin1String("Pivora3")) continue;
      if (auto* action = window->findChild<QAction*>(QLatin1String(button))) {
        say(QStringLiteral("press %1").arg(QLatin1String(button)));
        action->trigger();
        return;
      }
    }
    say(QStringLiteral("no button %1").arg(QLatin1String(button)));
  });
}

void answer(QMessageBox* box) {
  QPointer<QMessageBox> shown(box);
  QTimer::singleShot(0, qApp, [shown] {
    if (!shown) return;
    QAbstractButton* button = shown->button(QMessageBox::Yes);
    if (!button && !shown->buttons().isEmpty()) button = shown->buttons().first();
    if (button) button->click();
  });
}

class Driver : public QObject {
 public:
  explicit Driver(QByteArray plan) : QObject(qApp), plan_(std::move(plan)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow()) return false;
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
      say(QStringLiteral("box %1").arg(box->text()));
      answer(box);
      return false;
    }
    const QString name = window->objectName();
    say(QStringLiteral("shown %1").arg(name));
    if (name == QLatin1String("Pivora3") && !started_ && plan_.startsWith("press:")) {
      started_ = true;
      button_ = plan_.mid(static_cast<qsizetype>(sizeof("press:") - 1));
      press(button_.constData());
    } else if (name == QLatin1String("Pivora3") && !started_ && plan_ != "watch") {
      started_ = true;
      press(plan_ == "table" ? "TableBtn" : "ExitBtn");
    } else if (name == QLatin1String("TableDlg") && plan_ == "table") {
      press("ExitBtn");
    }
    return false;
  }

 private:
  QByteArray plan_;
  QByteArray button_;  // kept for the press that runs from the event loop
  bool started_ = false;
};

void installDriver() {
  const QByteArray plan = qgetenv("PVRJ_TEST_DRIVER");
  if (plan.isEmpty()) return;
  qApp->installEventFilter(new Driver(plan));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installDriver)
