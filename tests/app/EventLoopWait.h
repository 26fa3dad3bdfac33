// Waits in a real event loop, which (unlike QTest's waits) goes idle between events, as the
// editor's own loop does.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace pvrj::test {

inline constexpr int kEventLoopDeadlineMs = 10000;

// Runs the loop until done() holds or the deadline passes; returns done().
inline bool runLoopUntil(const std::function<bool()>& done, int deadlineMs = kEventLoopDeadlineMs) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(0);
  QTimer::singleShot(deadlineMs, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

// Lets everything posted so far run.
inline void flushPostedEvents() {
  bool flushed = false;
  QTimer::singleShot(0, [&] { flushed = true; });
  runLoopUntil([&] { return flushed; });
}

}  // namespace pvrj::test
