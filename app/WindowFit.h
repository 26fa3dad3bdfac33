// How far the main window grows to hold a chart: never beyond the screen's available area.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace pvrj {

// The client size of a window whose client area is current once a chart asks for wanted: never
// smaller than now, and grown no further than available (the screen less its panels) less the
// window's frame.
QSize grownClientSize(QSize current, QSize wanted, const QRect& available, const QMargins& frame);

// The top-left corner for a window frame of frameSize at topLeft, moved as little as needed to
// lie within available (its top-left stays visible when the frame is larger).
QPoint keptOnScreen(QPoint topLeft, QSize frameSize, const QRect& available);

}  // namespace pvrj
