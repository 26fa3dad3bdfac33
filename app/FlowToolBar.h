// A tool bar whose buttons wrap onto further rows when the window is too narrow for them.
#pragma once

#include <QHash>
#include <QWidget>

class QAction;

namespace pvrj {

class FlowLayout;

class FlowToolBar : public QWidget {
  Q_OBJECT
 public:
  FlowToolBar(const QString& title, QWidget* parent = nullptr);

  // A text button for a new action, which the bar owns.
  QAction* addButton(const QString& text);
  // Any other control (a check box, a list).
  void addControl(QWidget* control);
  // The button of an action added here, or nullptr.
  QWidget* widgetForAction(QAction* action) const;

 private:
  FlowLayout* layout_;
  QHash<QAction*, QWidget*> buttons_;
};

}  // namespace pvrj
