// Small pieces the board tool dialogs and the item editors share: the channel names and colours
// copied from the position editor, named labels and reading boxes, the up/down spinner, and how
// scroll bar events read.
#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editors/core/Desktop.h"

class QLabel;
class QLineEdit;
class QScrollBar;
class QToolButton;

namespace pvrj {

// The position editor's channel names and colours, as the dialogs take them when they load.
using ChannelLabels = std::array<ChannelLabel, kChannelCount>;
using ChannelLabelSource = std::function<ChannelLabels()>;

// What the trim dialog copies from the position editor each time it opens: the window size, the
// channel panels' places and visibility, the names and colours, and the tool panel's place and
// colour.
struct EditorArrangement {
  DesktopSettings desktop;
  ChannelLabels labels;
  std::uint32_t toolPanelColor = 0;  // resolved 0x00BBGGRR
};
using EditorArrangementSource = std::function<EditorArrangement()>;

// The label's name, or "CH" + channel (1 to 24) when it has none.
QString channelLabelName(const ChannelLabel& label, int channel);
// text on a label, check box or button, in the colours of the position editor's label.
void showChannelLabel(QWidget& widget, const ChannelLabel& label, const QString& text);
// A widget's background colour.
void fillBackground(QWidget& widget, const QColor& color);

QStringList toStringList(const std::vector<std::string>& texts);
QLabel* namedLabel(const char* name, const QString& text, QWidget* parent);
// A box that shows a reading, width pixels wide; yellow for the change from the reference.
QLineEdit* readingBox(const QString& name, const QString& text, int width, bool yellow,
                      QWidget* parent);

// Scroll bar events as the dialogs take them: every move while the thumb is dragged, and the end
// of a scroll when the thumb is let go or after a click on an arrow or the track.
void onScroll(QScrollBar* bar, std::function<void(int position, bool ended)> handler);

// An up/down spinner without a text of its own: each press of an arrow (repeating while held)
// steps the position within the range; letting go of an arrow is a mouse release on it.
class TUpDown : public QWidget {
  Q_OBJECT
 public:
  TUpDown(int minimum, int maximum, int position, QWidget* parent = nullptr);
  int position() const { return position_; }
  // Held within the range; no signal.
  void setPosition(int position);
  int minimum() const { return minimum_; }
  int maximum() const { return maximum_; }
  // One step up (+1) or down (-1), as a press of an arrow does.
  void step(int direction);
  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 signals:
  void stepped(int position);
  void released();

 private:
  int minimum_;
  int maximum_;
  int position_;
  QToolButton* up_;
  QToolButton* down_;
};

}  // namespace pvrj
