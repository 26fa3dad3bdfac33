// Colours, channel labels, scroll events and the up/down spinner of the board tool dialogs.
#include "tools/ToolWidgets.h"

#include <QAbstractSlider>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace pvrj {
namespace {

constexpr int kSpinnerWidth = 18;
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 80;

}  // namespace

QColor colorOf(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

void fillBackground(QWidget& widget, const QColor& color) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, color);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

void showChannelLabel(QWidget& widget, const ChannelLabel& label, int channel) {
  const QString name = label.name.empty() ? QStringLiteral("CH%1").arg(channel + 1)
                                          : QString::fromStdString(label.name);
  widget.setProperty("text", name);
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, colorOf(label.background));
  palette.setColor(QPalette::WindowText, colorOf(label.text));
  palette.setColor(QPalette::ButtonText, colorOf(label.text));
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
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
