// How the position editor shows a channel's label, so other windows can show it the same way.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>

namespace pvrj {

struct ChannelLook {
  QString name;
  QFont font;
  QColor text;   // the label's text colour
  QColor panel;  // the colour of the channel's panel
};

// The default look of channel n: "CH" + n in the application's font and colours.
inline ChannelLook defaultChannelLook(int channel) {
  return {QStringLiteral("CH%1").arg(channel), QFont(), QColor(), QColor()};
}

// Shows text on a label in the look's font and colours (invalid colours keep the label's own).
inline void applyChannelLook(QLabel& label, const ChannelLook& look, const QString& text) {
  label.setText(text);
  label.setFont(look.font);
  QPalette palette = label.palette();
  if (look.text.isValid()) palette.setColor(QPalette::WindowText, look.text);
  if (look.panel.isValid()) palette.setColor(QPalette::Window, look.panel);
  label.setPalette(palette);
  label.setAutoFillBackground(look.panel.isValid());
}

}  // namespace pvrj
