// Showing the position editor's channel labels (name and colours) on the labels of other windows.
#pragma once

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <array>
#include <cstdint>

#include "chart/Chart.h"
#include "editors/core/Desktop.h"

namespace pvrj {

using ChannelLabels = std::array<ChannelLabel, kChannelCount>;

// A resolved 0x00BBGGRR colour.
inline QColor labelColor(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

// The label's name, or "CH" + channel when it has none.
inline QString channelLabelName(const ChannelLabel& label, int channel) {
  return label.name.empty() ? QStringLiteral("CH%1").arg(channel)
                            : QString::fromStdString(label.name);
}

// text on target, in the colours of the position editor's label.
inline void showChannelLabel(QLabel& target, const ChannelLabel& label, const QString& text) {
  target.setText(text);
  QPalette palette = target.palette();
  palette.setColor(QPalette::Window, labelColor(label.background));
  palette.setColor(QPalette::WindowText, labelColor(label.text));
  target.setPalette(palette);
  target.setAutoFillBackground(true);
}

}  // namespace pvrj
