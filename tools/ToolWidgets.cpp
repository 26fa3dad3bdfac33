// Channel labels, small controls, scroll events and the up/down spinner of the tool dialogs.
#include "tools/ToolWidgets.h"

#include <QAbstractSlider>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/Colors.h"

namespace pvrj {
namespace {

constexpr int kSpinnerWidth = 18;
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 80;
const QColor kYellow(255, 255, 0);

}  // namespace

void fillBackground(QWidget& widget, const QColor& color) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, color);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

QString channelLabelName(const ChannelLabel& label, int channel) {
  return label.name.empty() ? QStringLiteral("CH%1").arg(channel)
                            : QString::fromStdString(label.name);
}

void showChannelLabel(QWidget& widget, const ChannelLabel& label, const QString& text) {
  widget.setProperty("text", text);
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, toQColor(label.background));
  palette.setColor(QPalette::WindowText, toQColor(label.text));
  palette.setColor(QPalette::ButtonText, toQColor(label.text));
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

QStringList toStringList(const std::vector<std::string>& texts) {
  QStringList list;
  for (const std::string& t : texts) list << QString::fromStdString(t);
  return list;
}

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QLineEdit* readingBox(const QString& name, const QString& text, int width, bool yellow,
                      QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  edit->setFixedWidth(width);
  if (yellow) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, kYellow);
    edit->setPalette(palette);
  }
  return edit;
}

void onScroll(QScrollBar* bar, std::function<void(int position, bool ended)> handler) {
  // actionTriggered comes before the value moves; sliderPosition() already holds the new place.
  QObject::connect(bar, &QAbstractSlider::actionTriggered, bar, [bar, handler](int action) {
    if (action == QAbstractSlider::SliderNoAction) return;
    const bool dragging = action == QAbstractSlider::SliderMove;
    handler(bar->sliderPosition(), !dragging);
  });
  QObject::connect(bar, &QAbstractSlider::sliderReleased, bar,
                   [bar, handler] { handler(bar->sliderPosition(), true); });
}

TUpDown::TUpDown(int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), position_(position) {
  up_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_ = new QToolButton(this);
  down_->setArrowType(Qt::DownArrow);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(kRepeatDelayMs);
    b->setAutoRepeatInterval(kRepeatIntervalMs);
    b->setFixedWidth(kSpinnerWidth);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    layout->addWidget(b);
  }
  setFixedWidth(kSpinnerWidth);
  // A step comes with the press and with every repeat while the arrow is held (a repeat sends
  // released and pressed again with the button still down); the real release is the one after
  // which the button is no longer down.
  connect(up_, &QToolButton::pressed, this, [this] { step(+1); });
  connect(down_, &QToolButton::pressed, this, [this] { step(-1); });
  for (QToolButton* b : {up_, down_}) {
    connect(b, &QToolButton::released, this, [this, b] {
      if (!b->isDown()) emit released();
    });
  }
  setPosition(position);
}

void TUpDown::setPosition(int position) {
  position_ = std::clamp(position, minimum_, maximum_);
}

void TUpDown::step(int direction) {
  setPosition(position_ + (direction > 0 ? 1 : -1));
  emit stepped(position_);
}

}  // namespace pvrj
