// Rows of items that wrap at the layout's width.
#include "app/FlowLayout.h"

#include <QWidget>
#include <algorithm>

namespace pvrj {
namespace {

// An item too wide for any row gets the row's width only if it can wrap its own content (a tool
// bar); a plain control keeps at least its size hint and its minimum.
int naturalWidth(const QLayoutItem* item) {
  return std::max(item->sizeHint().width(), item->minimumSize().width());
}

int narrowestWidth(const QLayoutItem* item) {
  return item->hasHeightForWidth() ? item->minimumSize().width() : naturalWidth(item);
}

int heightAt(const QLayoutItem* item, int width) {
  return item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
}

}  // namespace

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent), gap_(spacing) {
  setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() = default;

void FlowLayout::addItem(QLayoutItem* item) {
  items_.emplace_back(item);
  invalidate();
}

int FlowLayout::count() const {
  return static_cast<int>(items_.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
  return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)].get() : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index) {
  if (index < 0 || index >= count()) return nullptr;
  QLayoutItem* item = items_[static_cast<std::size_t>(index)].release();
  items_.erase(items_.begin() + index);
  invalidate();
  return item;
}

Qt::Orientations FlowLayout::expandingDirections() const {
  return {};
}

void FlowLayout::invalidate() {
  cachedWidth_ = -1;
  QLayout::invalidate();
}

int FlowLayout::heightForWidth(int width) const {
  if (width != cachedWidth_) {
    cachedHeight_ = arrange(QRect(0, 0, width, 0), false);
    cachedWidth_ = width;
  }
  return cachedHeight_;
}

QSize FlowLayout::minimumSize() const {
  int width = 0;
  for (const auto& item : items_) {
    if (!item->isEmpty()) width = std::max(width, narrowestWidth(item.get()));
  }
  const QMargins m = contentsMargins();
  width += m.left() + m.right();
  return {width, heightForWidth(width)};
}

QSize FlowLayout::sizeHint() const {
  int width = 0;
  int height = 0;
  int shown = 0;
  for (const auto& item : items_) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    width += hint.width();
    height = std::max(height, hint.height());
    ++shown;
  }
  const QMargins m = contentsMargins();
  return {width + std::max(shown - 1, 0) * gap_ + m.left() + m.right(),
          height + m.top() + m.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool apply) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  const int available = std::max(area.width(), 0);
  struct Placed {
    QLayoutItem* item;
    int width;
  };
  std::vector<Placed> row;
  int rowWidth = 0;
  int y = area.y();
  bool anyRow = false;

  const auto finishRow = [&] {
    if (row.empty()) return;
    // What the row leaves over goes to the items that want to grow (the status line).
    int extra = std::max(available - rowWidth, 0);
    int growing = 0;
    for (const Placed& p : row)
      if (p.item->expandingDirections() & Qt::Horizontal) ++growing;
    for (Placed& p : row) {
      if (growing == 0 || !(p.item->expandingDirections() & Qt::Horizontal)) continue;
      const int share = extra / growing;
      p.width += share;
      extra -= share;
      --growing;
    }
    int height = 0;
    for (const Placed& p : row) height = std::max(height, heightAt(p.item, p.width));
    if (anyRow) y += gap_;
    if (apply) {
      int x = area.x();
      for (const Placed& p : row) {
        const int h = p.item->hasHeightForWidth() ? heightAt(p.item, p.width) : height;
        // Controls of one row share its height; a control that cannot grow is centred in it.
        const int own = std::min(h, p.item->maximumSize().height());
        p.item->setGeometry(QRect(x, y + (height - own) / 2, p.width, own));
        x += p.width + gap_;
      }
    }
    y += height;
    anyRow = true;
    row.clear();
    rowWidth = 0;
  };

  for (const auto& owned : items_) {
    QLayoutItem* item = owned.get();
    if (item->isEmpty()) continue;
    int width = naturalWidth(item);
    if (width > available) width = std::max(narrowestWidth(item), available);
    if (!row.empty() && rowWidth + gap_ + width > available) finishRow();
    rowWidth += (row.empty() ? 0 : gap_) + width;
    row.push_back({item, width});
  }
  finishRow();
  const QMargins m = contentsMargins();
  return y - area.y() + m.top() + m.bottom();
}

}  // namespace pvrj
