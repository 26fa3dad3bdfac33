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
//   churn  autosave at once after each change, and drag the canvas's selection one pixel right
//          and back, again and again, from the start point given by PVRJ_TEST_DRAG ("x,y")
// Under every plan the quit question is answered Yes, any other box with its first button.
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>

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

// Drags the canvas's selection by one pixel, right and back in turn, while no box is open.
void churn(QWidget* window) {
  if (auto* timer = window->findChild<QTimer*>(QStringLiteral("AutosaveTimer")))
    timer->setInterval(0);
  QPointer<QWidget> canvas = window->findChild<QWidget*>(QStringLiteral("Image1"));
  const QList<QByteArray> start = qgetenv("PVRJ_TEST_DRAG").split(',');
  const QPointF from(start.value(0).toInt(), start.value(1).toInt());
  auto* ticker = new QTimer(qApp);
  ticker->setInterval(30);
  auto step = std::make_shared<int>(0);
  QObject::connect(ticker, &QTimer::timeout, qApp, [canvas, from, step] {
    if (!canvas || QApplication::activeModalWidget()) return;
    const QPointF to = from + QPointF((*step)++ % 2 == 0 ? 1 : -1, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, canvas->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, canvas->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, canvas->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &press);
    QApplication::sendEvent(canvas, &move);
    QApplication::sendEvent(canvas, &release);
    if (*step == 1) say(QStringLiteral("dragging"));
  });
  ticker->start();
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
    } else if (name == QLatin1String("Pivora3") && !started_ && plan_ == "churn") {
      started_ = true;
      churn(window);
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
