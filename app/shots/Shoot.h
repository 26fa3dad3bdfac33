// Taking a window's picture for the README: shown, painted once and grabbed.
#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace pvrj::shots {

// Long enough for a window manager-less X server to map a window and paint it once.
inline constexpr int kExposeDeadlineMs = 5000;

// Shows window, waits until it is painted, saves its picture to path and hides it again.
inline bool shoot(QWidget& window, const QString& path) {
  window.show();
  window.raise();
  QDeadlineTimer deadline(kExposeDeadlineMs);
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) && !deadline.hasExpired()) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
  const bool saved = window.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  window.hide();
  return saved;
}

}  // namespace pvrj::shots
