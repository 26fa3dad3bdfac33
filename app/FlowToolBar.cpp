// Tool bars that wrap: text buttons and controls in a flow layout.
#include "app/FlowToolBar.h"

#include <QAction>
#include <QToolButton>

#include "app/FlowLayout.h"

namespace pvrj {

FlowToolBar::FlowToolBar(const QString& title, QWidget* parent)
    : QWidget(parent), layout_(new FlowLayout(this)) {
  setWindowTitle(title);
  // Tight buttons, so that many fit a row.
  setStyleSheet(QStringLiteral("QToolButton { padding: 3px 1px; margin: 0px; }"));
}

QAction* FlowToolBar::addButton(const QString& text) {
  auto* action = new QAction(text, this);
  addAction(action);
  auto* button = new QToolButton(this);
  button->setDefaultAction(action);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  button->setAutoRaise(true);
  // Keys belong to the canvas; a tool button never takes the focus.
  button->setFocusPolicy(Qt::NoFocus);
  layout_->addWidget(button);
  buttons_.insert(action, button);
  return action;
}

void FlowToolBar::addControl(QWidget* control) {
  control->setParent(this);
  layout_->addWidget(control);
}

QWidget* FlowToolBar::widgetForAction(QAction* action) const {
  return buttons_.value(action, nullptr);
}

}  // namespace pvrj
