// A layout that sets its items side by side and starts a new row where the width ends, like words
// in a line of text. The main window's tool bars wrap with it, and so do their buttons.
#pragma once

#include <QLayout>
#include <QRect>
#include <memory>
#include <vector>

namespace pvrj {

class FlowLayout : public QLayout {
 public:
  // spacing: pixels between neighbours in a row and between rows.
  explicit FlowLayout(QWidget* parent = nullptr, int spacing = 0);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;

  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  // The width of the widest item that cannot wrap itself, and the height at that width.
  QSize minimumSize() const override;
  // Everything in one row.
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;
  void invalidate() override;

 private:
  // Lays the items out in rect (moving them when apply is set); returns the height used.
  int arrange(const QRect& rect, bool apply) const;

  std::vector<std::unique_ptr<QLayoutItem>> items_;
  int gap_;
  mutable int cachedWidth_ = -1;
  mutable int cachedHeight_ = 0;
};

}  // namespace pvrj
