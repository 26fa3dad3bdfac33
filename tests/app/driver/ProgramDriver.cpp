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
//   soak   round after round until PVRJ_SOAK_SECONDS have passed, then press 終了: choose the
//          port COMn (n from PVRJ_SOAK_PORT), show the table and read it from the board, hide
//          it, open each board tool (a tool's window is closed again a moment after it shows),
//          choose "OFF"; "driver: soak round N" after each round
// Under every plan the quit question is answered Yes, any other box with its first button.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <cstdio>
#include <iterator>
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

QWidget* mainWindow() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QLatin1String("Pivora3")) return window;
  return nullptr;
}

// Chooses an entry of the main window's port box as the user does.
void choosePort(int index) {
  QWidget* window = mainWindow();
  auto* box = window ? window->findChild<QComboBox*>(QStringLiteral("CommPort")) : nullptr;
  if (!box) {
    say(QStringLiteral("no port box"));
    return;
  }
  box->setCurrentIndex(index);
  emit box->activated(index);
}

// The soak plan's rounds, one step per tick of a timer, so the program runs its event loop all
// the while (also inside a tool's modal window).
class Soak : public QObject {
 public:
  explicit Soak(QObject* parent) : QObject(parent) {
    seconds_ = qEnvironmentVariableIntValue("PVRJ_SOAK_SECONDS");
    port_ = qEnvironmentVariableIntValue("PVRJ_SOAK_PORT");
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
  }
  void start() {
    clock_.start();
    timer_.start(kStepMs);
  }

 private:
  static constexpr int kStepMs = 250;

  void step() {
    // A tool's window is open: close it, as the user would after a look.
    if (QWidget* modal = QApplication::activeModalWidget()) {
      if (!qobject_cast<QMessageBox*>(modal)) modal->close();
      return;
    }
    if (clock_.elapsed() >= qint64{seconds_} * 1000) {
      timer_.stop();
      say(QStringLiteral("soak done after %1 rounds").arg(round_));
      press("ExitBtn");
      return;
    }
    static const char* const kTools[] = {"HomeBtn", "OptionBtn", "AdBtn", "receiverBtn"};
    constexpr int kToolCount = static_cast<int>(std::size(kTools));
    const int steps = 5 + kToolCount;
    const int at = next_++ % steps;
    if (at == 0) {
      choosePort(port_);
    } else if (at == 1 || at == 3) {
      press("TableBtn");
    } else if (at == 2) {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() != QLatin1String("TableDlg") || !window->isVisible()) continue;
        if (auto* read = window->findChild<QToolButton*>(QStringLiteral("MotReadBtn"))) {
          QElapsedTimer took;
          took.start();
          read->click();  // reads all 85 entries before it returns
          say(QStringLiteral("table read in %1 ms").arg(took.elapsed()));
        }
      }
    } else if (at < 4 + kToolCount) {
      press(kTools[at - 4]);
    } else {
      // What the status line said last, before the port closes.
      QWidget* window = mainWindow();
      auto* status = window ? window->findChild<QLineEdit*>(QStringLiteral("Edit2")) : nullptr;
      const QString said = status ? status->text() : QString();
      choosePort(0);
      say(QStringLiteral("soak round %1 (%2)").arg(++round_).arg(said));
    }
  }

  QTimer timer_;
  QElapsedTimer clock_;
  int seconds_ = 0;
  int port_ = 0;
  int next_ = 0;
  int round_ = 0;
};

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
    } else if (name == QLatin1String("Pivora3") && !started_ && plan_ == "soak") {
      started_ = true;
      (new Soak(this))->start();
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
