// The chart canvas: painting into the off-screen image, mouse forwarding, context and colour menus.
#include "app/ChartCanvas.h"

#include <QApplication>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHash>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <algorithm>
#include <unordered_map>

namespace pvrj {
namespace {

// Largest canvas side the image is made for: a damaged file must not ask for gigabytes.
constexpr int kMaxCanvasSide = 8000;
// The arrow head corners lie within this many pixels of the middle; its cached image is twice that.
constexpr int kArrowReach = 8;
// Bend point mark: from (x - 2, y - 2) to (x + 3, y + 3), right and bottom edges excluded.
constexpr int kBendMarkHalf = 2;
constexpr int kBendMarkSize = 4;
// Limit of cached faces and arrow heads before the caches start over.
constexpr std::size_t kMaxCachedFaces = 8192;
// Room around a face's box while its text is laid out.
constexpr int kTextMargin = 8;
// Faces larger than this (only damaged files make them) are painted directly, never cached.
constexpr int kMaxFaceSide = 2048;
// How far the start flag reaches outside its item's box.
constexpr int kFlagReach = 13;

QPoint toQPoint(ChartPoint p) {
  return QPoint(p.x, p.y);
}

int clampSide(int side) {
  return std::clamp(side, 1, kMaxCanvasSide);
}

// The few colours of one paint, resolved once.
struct Colors {
  std::uint32_t window;
  std::uint32_t highlight;
  std::uint32_t highlightText;
  std::uint32_t resolve(std::uint32_t color) const {
    if (!isSystemColor(color)) return color & 0xFFFFFF;
    switch (color) {
      case kSysWindowColor:
        return window;
      case kSysHighlightColor:
        return highlight;
      case kSysHighlightTextColor:
        return highlightText;
      default:
        return paletteSystemColor(color);
    }
  }
};

struct FaceKey {
  int width;
  int height;
  bool plain;
  std::uint32_t fill;
  std::uint32_t text;
  std::string name;
  bool operator==(const FaceKey&) const = default;
};

struct FaceKeyHash {
  std::size_t operator()(const FaceKey& k) const {
    std::size_t h = std::hash<std::string>()(k.name);
    auto mix = [&h](std::uint64_t v) {
      h ^= std::hash<std::uint64_t>()(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    };
    mix((static_cast<std::uint64_t>(static_cast<std::uint32_t>(k.width)) << 32) |
        static_cast<std::uint32_t>(k.height));
    mix((static_cast<std::uint64_t>(k.fill) << 32) | k.text);
    mix(k.plain ? 1 : 0);
    return h;
  }
};

struct ArrowKey {
  std::array<ChartPoint, 3> shape;
  std::uint32_t pen;
  std::uint32_t fill;
  bool operator==(const ArrowKey&) const = default;
};

struct ArrowKeyHash {
  std::size_t operator()(const ArrowKey& k) const {
    std::size_t h = (static_cast<std::size_t>(k.pen) << 24) ^ k.fill;
    for (const auto& p : k.shape)
      h = h * 131 + static_cast<std::size_t>((p.x + 64) * 256 + (p.y + 64));
    return h;
  }
};

// The box of an item, outline and fill, and its name on top: the picture of one item face. The box
// is laid out in whole-pixel spans, so it comes out the same at any position and under any clip.
void drawFace(QPainter& p, const QRect& box, bool plain, std::uint32_t fill, std::uint32_t text,
              const QString& name) {
  const QColor outline(Qt::black);
  const QColor inside = toQColor(fill);
  const int x0 = box.left();
  const int y0 = box.top();
  const int w = box.width();
  const int h = box.height();
  if (plain) {
    p.fillRect(x0, y0, w, 1, outline);
    if (h > 1) p.fillRect(x0, y0 + h - 1, w, 1, outline);
    if (h > 2) {
      p.fillRect(x0, y0 + 1, 1, h - 2, outline);
      if (w > 1) p.fillRect(x0 + w - 1, y0 + 1, 1, h - 2, outline);
      if (w > 2) p.fillRect(x0 + 1, y0 + 1, w - 2, h - 2, inside);
    }
  } else {
    auto row = [&](int k) {
      const int in = roundedRowInset(k, h);
      const int span = w - 2 * in;
      if (span <= 0) return;
      if (k == 0 || k == h - 1) {
        p.fillRect(x0 + in, y0 + k, span, 1, outline);
        return;
      }
      // The edge pixels reach along the row to meet a neighbouring row that starts further in.
      const int reach =
          std::max(in, std::max(roundedRowInset(k - 1, h), roundedRowInset(k + 1, h)) - 1);
      const int edge = std::min(reach - in + 1, (span + 1) / 2);
      p.fillRect(x0 + in, y0 + k, edge, 1, outline);
      p.fillRect(x0 + w - in - edge, y0 + k, edge, 1, outline);
      if (span > 2 * edge) p.fillRect(x0 + in + edge, y0 + k, span - 2 * edge, 1, inside);
    };
    // Rows without an inset and whose neighbours have none either form one block.
    const int corner = kItemCornerEllipse / 2;
    for (int k = 0; k < h; ++k) {
      if (k > corner && k < h - 1 - corner) {
        const int last = h - 2 - corner;
        p.fillRect(x0, y0 + k, 1, last - k + 1, outline);
        if (w > 1) p.fillRect(x0 + w - 1, y0 + k, 1, last - k + 1, outline);
        if (w > 2) p.fillRect(x0 + 1, y0 + k, w - 2, last - k + 1, inside);
        k = last;
        continue;
      }
      row(k);
    }
  }
  p.setPen(toQColor(text));
  p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, name);
}

// One item face as an image of the box's size. The text is laid out in a scratch image with room
// around the box, because glyphs that start left of or above an image's edge are dropped whole
// rather than cut; the box is then copied out, so a face looks the same wherever it is shown.
QImage renderFace(const QFont& font, int w, int h, bool plain, std::uint32_t fill,
                  std::uint32_t text, const QString& name) {
  const QFontMetrics metrics(font);
  const int mx = std::max(0, (metrics.horizontalAdvance(name) - w) / 2) + kTextMargin;
  const int my = std::max(0, (metrics.height() - h) / 2) + kTextMargin;
  QImage scratch(w + 2 * mx, h + 2 * my, QImage::Format_ARGB32_Premultiplied);
  scratch.fill(Qt::transparent);
  QPainter sp(&scratch);
  sp.setRenderHint(QPainter::Antialiasing, false);
  sp.setFont(font);
  drawFace(sp, QRect(mx, my, w, h), plain, fill, text, name);
  sp.end();
  return scratch.copy(mx, my, w, h);
}

void drawArrow(QPainter& p, const std::array<ChartPoint, 3>& corners, std::uint32_t pen,
               std::uint32_t fill) {
  p.setPen(QPen(toQColor(pen), 1, Qt::SolidLine));
  p.setBrush(toQColor(fill));
  const QPoint points[3] = {toQPoint(corners[0]), toQPoint(corners[1]), toQPoint(corners[2])};
  p.drawPolygon(points, 3);
}

}  // namespace

QByteArray encodeMotionRow(int slot, const QString& caption) {
  return QByteArray::number(slot) + '\t' + caption.toUtf8();
}

bool decodeMotionRow(const QByteArray& data, int& slot, QString& caption) {
  const qsizetype tab = data.indexOf('\t');
  if (tab <= 0) return false;
  bool ok = false;
  const int value = data.left(tab).trimmed().toInt(&ok);
  if (!ok) return false;
  slot = value;
  caption = QString::fromUtf8(data.mid(tab + 1));
  return true;
}

// ---------------------------------------------------------------------------------------------
// ChartPainter

struct ChartPainter::Cache {
  std::unordered_map<FaceKey, QImage, FaceKeyHash> faces;
  std::unordered_map<ArrowKey, QImage, ArrowKeyHash> arrows;
  std::vector<ChartPoint> path;
  std::vector<int> order;
};

ChartPainter::ChartPainter() : cache_(std::make_unique<Cache>()) {}
ChartPainter::~ChartPainter() = default;

void ChartPainter::setCaching(bool on) {
  caching_ = on;
  clearCache();
}

void ChartPainter::clearCache() {
  cache_->faces.clear();
  cache_->arrows.clear();
}

void ChartPainter::paint(QImage& image, const QRect& area, const Chart& chart,
                         const ChartEditor* editor) {
  const QRect clip = area.intersected(image.rect());
  if (clip.isEmpty()) return;
  Colors colors{paletteSystemColor(kSysWindowColor), paletteSystemColor(kSysHighlightColor),
                paletteSystemColor(kSysHighlightTextColor)};
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setClipRect(clip);
  QFont font = QApplication::font();
  font.setStyleStrategy(QFont::NoAntialias);
  p.setFont(font);

  // Background.
  p.fillRect(clip, toQColor(colors.window));

  // Anything whose box misses the area is skipped; the clip would drop its pixels anyway.
  const QRect reach = clip.adjusted(-kArrowReach, -kArrowReach, kArrowReach, kArrowReach);
  auto boxMisses = [&reach](int x0, int y0, int x1, int y1) {
    return std::max(x0, x1) < reach.left() || std::min(x0, x1) > reach.right() ||
           std::max(y0, y1) < reach.top() || std::min(y0, y1) > reach.bottom();
  };

  // Lines, each segment with its arrow head, then the marks of a selected line's bend points.
  auto& path = cache_->path;
  for (const auto& link : chart.links) {
    linkPathInto(chart, link, path);
    if (path.empty()) continue;
    const std::uint32_t pen = link.Selected ? colors.highlight : kGrey;
    const std::uint32_t fill =
        link.Selected ? colors.highlight
                      : colors.resolve(chart.items[static_cast<std::size_t>(link.Origin)].Color);
    const QPen segmentPen(toQColor(pen), 1, link.Main != 0 ? Qt::DotLine : Qt::SolidLine);
    for (std::size_t j = 0; j + 1 < path.size(); ++j) {
      const ChartPoint a = path[j];
      const ChartPoint b = path[j + 1];
      if (!boxMisses(a.x, a.y, b.x, b.y)) {
        p.setPen(segmentPen);
        p.drawLine(toQPoint(a), toQPoint(b));
        const ChartPoint m = segmentMiddle(a, b);
        if (caching_) {
          ArrowKey key{arrowHeadShape(a, b), pen, fill};
          auto found = cache_->arrows.find(key);
          if (found == cache_->arrows.end()) {
            if (cache_->arrows.size() >= kMaxCachedFaces) cache_->arrows.clear();
            QImage face(2 * kArrowReach + 1, 2 * kArrowReach + 1,
                        QImage::Format_ARGB32_Premultiplied);
            face.fill(Qt::transparent);
            QPainter fp(&face);
            auto corners = key.shape;
            for (auto& c : corners) {
              c.x += kArrowReach;
              c.y += kArrowReach;
            }
            drawArrow(fp, corners, pen, fill);
            fp.end();
            found = cache_->arrows.emplace(key, std::move(face)).first;
          }
          p.drawImage(m.x - kArrowReach, m.y - kArrowReach, found->second);
        } else {
          drawArrow(p, arrowHead(a, b), pen, fill);
        }
      }
      // Bend point marks come right after the segment that ends at them.
      if (link.Selected && j + 1 < path.size() && j < link.Point.size()) {
        const ChartPoint q = link.Point[j];
        if (!boxMisses(q.x, q.y, q.x, q.y)) {
          p.setPen(QPen(toQColor(pen), 1));
          p.setBrush(Qt::white);
          p.drawRect(q.x - kBendMarkHalf, q.y - kBendMarkHalf, kBendMarkSize, kBendMarkSize);
        }
      }
    }
  }

  // Items: unselected ones first, then the selected ones on top, each group in index order.
  auto drawItem = [&](const ChartItem& item) {
    if (item.Width <= 0 || item.Height <= 0) return;
    if (boxMisses(item.Left, item.Top, item.Left + item.Width, item.Top + item.Height)) return;
    const bool plain = item.Type == kItemMot;
    const std::uint32_t fill = item.Selected ? colors.highlight : colors.resolve(item.Color);
    const std::uint32_t text =
        item.Selected ? colors.highlightText
                      : (colorLuminance(fill) <= kContrastLuminanceLimit ? kWhite : kBlack);
    const QString name = QString::fromStdString(item.Name);
    if (item.Width > kMaxFaceSide || item.Height > kMaxFaceSide) {
      drawFace(p, QRect(item.Left, item.Top, item.Width, item.Height), plain, fill, text, name);
      return;
    }
    if (!caching_) {
      p.drawImage(item.Left, item.Top,
                  renderFace(font, item.Width, item.Height, plain, fill, text, name));
      return;
    }
    FaceKey key{item.Width, item.Height, plain, fill, text, item.Name};
    auto found = cache_->faces.find(key);
    if (found == cache_->faces.end()) {
      if (cache_->faces.size() >= kMaxCachedFaces) cache_->faces.clear();
      found = cache_->faces
                  .emplace(std::move(key),
                           renderFace(font, item.Width, item.Height, plain, fill, text, name))
                  .first;
    }
    p.drawImage(item.Left, item.Top, found->second);
  };
  for (const auto& item : chart.items) {
    if (!item.Selected) drawItem(item);
  }
  for (const auto& item : chart.items) {
    if (item.Selected) drawItem(item);
  }

  // The start flag.
  if (chart.validItem(chart.Start)) {
    const ChartItem& item = chart.items[static_cast<std::size_t>(chart.Start)];
    if (!boxMisses(item.Left - kFlagReach, item.Top - kFlagReach, item.Left + kFlagReach,
                   item.Top + kFlagReach)) {
      const StartMark mark = startMark(item);
      p.setPen(QPen(Qt::black, 1));
      p.setBrush(toQColor(item.Selected ? colors.highlight : kRed));
      const QPoint flag[3] = {toQPoint(mark.flag[0]), toQPoint(mark.flag[1]),
                              toQPoint(mark.flag[2])};
      p.drawPolygon(flag, 3);
      p.drawLine(toQPoint(mark.poleTop), toQPoint(mark.poleBottom));
    }
  }
  // A line or rubber band begun on a chart since replaced names items that are gone.
  if (editor == nullptr || !editor->followsChart()) return;

  // The rubber band.
  if (editor->rubberBand()) {
    const ChartPoint a = editor->mouseDownPoint();
    const ChartPoint b = editor->currentPoint();
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    const QPoint band[5] = {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}, {a.x, a.y}};
    p.drawPolyline(band, 5);
  }

  // The line being drawn.
  if (editor->lineDrawing() && !editor->linePoints().empty()) {
    p.setPen(QPen(toQColor(kRed), 1, Qt::SolidLine));
    QPolygon line;
    for (const auto& q : editor->linePoints()) line << toQPoint(q);
    line << toQPoint(editor->currentPoint());
    p.drawPolyline(line);
  }
}

// ---------------------------------------------------------------------------------------------
// ChartCanvas

ChartCanvas::ChartCanvas(Chart& chart, UserInterface& ui, QWidget* parent)
    : QWidget(parent),
      chart_(chart),
      ui_(ui),
      editor_(chart, ui),
      painter_(std::make_unique<ChartPainter>()) {
  setObjectName("Image1");
  setMouseTracking(true);
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  editor_.onToolModeChanged = [this](int mode) { emit toolModeChanged(mode); };
  // Names are drawn in the application font (see ChartPainter::paint).
  editor_.textWidth = [](const std::string& text) {
    return QFontMetrics(QApplication::font()).horizontalAdvance(QString::fromStdString(text));
  };
  chooseColor = [this](std::uint32_t initial) -> std::optional<std::uint32_t> {
    const QColor chosen =
        QColorDialog::getColor(toQColor(resolveColor(initial, paletteSystemColor)), this);
    if (!chosen.isValid()) return std::nullopt;
    return fromQColor(chosen);
  };
  buildMenu();
  setCanvasSize(chart_.Width, chart_.Height);
}

ChartCanvas::~ChartCanvas() = default;

void ChartCanvas::buildMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  auto add = [this](const char* name, const QString& caption) {
    QAction* action = PopupMenu1->addAction(caption);
    action->setObjectName(name);
    return action;
  };
  auto separator = [this](const char* name) {
    QAction* action = PopupMenu1->addSeparator();
    action->setObjectName(name);
    return action;
  };
  N21 = add("N21", QStringLiteral("選択解除"));
  N20 = separator("N20");
  CopyMenu = add("CopyMenu", QStringLiteral("コピー"));
  PasteMenu = add("PasteMenu", QStringLiteral("貼り付け"));
  MirMenu = add("MirMenu", QStringLiteral("変換"));
  N19 = separator("N19");
  ColorMenu = PopupMenu1->addMenu(QStringLiteral("色"));
  ColorMenu->setObjectName("ColorMenu");
  PropertyMenu = add("PropertyMenu", QStringLiteral("プロパティ"));
  PointAddBtn = add("PointAddBtn", QStringLiteral("折れ目の追加"));
  PointDelBtn = add("PointDelBtn", QStringLiteral("折れ目の削除"));
  Separate0 = separator("Separate0");
  ItemDel = add("ItemDel", QStringLiteral("削除"));
  N22 = add("N22", QStringLiteral("全選択"));
  for (const auto& entry : menuColors()) {
    const std::uint32_t color = entry.color;
    QAction* action = ColorMenu->addAction(QString::fromUtf8(entry.caption));
    connect(action, &QAction::triggered, this, [this, color] { ColorClick(color); });
  }
  QAction* other = ColorMenu->addAction(QString::fromUtf8(kOtherColorCaption));
  connect(other, &QAction::triggered, this, [this] { OtherColorClick(); });

  connect(N21, &QAction::triggered, this, [this] { N21Click(); });
  connect(CopyMenu, &QAction::triggered, this, [this] { CopyMenuClick(); });
  connect(PasteMenu, &QAction::triggered, this, [this] { PasteMenuClick(); });
  connect(MirMenu, &QAction::triggered, this, [this] { MirMenuClick(); });
  connect(PropertyMenu, &QAction::triggered, this, [this] { PropertyMenuClick(); });
  connect(PointAddBtn, &QAction::triggered, this, [this] { PointAddBtnClick(); });
  connect(PointDelBtn, &QAction::triggered, this, [this] { PointDelBtnClick(); });
  connect(ItemDel, &QAction::triggered, this, [this] { ItemDelClick(); });
  connect(N22, &QAction::triggered, this, [this] { N22Click(); });
  updateContextMenu();
}

void ChartCanvas::updateContextMenu() {
  const ContextMenuState& m = editor_.contextMenu();
  CopyMenu->setVisible(m.copy);
  PasteMenu->setVisible(m.paste);
  MirMenu->setVisible(m.conversion);
  ColorMenu->menuAction()->setVisible(m.color);
  PropertyMenu->setVisible(m.property);
  PropertyMenu->setEnabled(m.propertyEnabled);
  PointAddBtn->setVisible(m.pointAdd);
  PointDelBtn->setVisible(m.pointDelete);
  Separate0->setVisible(m.separate0);
  ItemDel->setVisible(m.remove);
}

void ChartCanvas::setCanvasSize(int width, int height) {
  chart_.Width = width;
  chart_.Height = height;
  redraw();
}

QRect ChartCanvas::visibleArea() const {
  if (!isVisible()) return rect();
  return visibleRegion().boundingRect();
}

void ChartCanvas::redraw() {
  editor_.followChart();
  const QSize size(clampSide(chart_.Width), clampSide(chart_.Height));
  if (this->size() != size) setFixedSize(size);
  if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
  valid_ = QRect();
  paintVisible();
}

void ChartCanvas::paintVisible() {
  const QRect area = visibleArea();
  valid_ = QRect();
  if (!area.isEmpty()) {
    painter_->paint(image_, area, chart_, &editor_);
    valid_ = area;
  }
  update();
}

void ChartCanvas::ensurePainted(const QRect& area) const {
  const QRect wanted = area.intersected(image_.rect());
  if (wanted.isEmpty() || valid_.contains(wanted)) return;
  // Repainting the part that is already valid is harmless; one rectangle keeps it simple.
  const QRect repaint = valid_.isEmpty() ? wanted : valid_.united(wanted);
  painter_->paint(image_, repaint, chart_, &editor_);
  valid_ = repaint;
}

const QImage& ChartCanvas::image() const {
  ensurePainted(image_.rect());
  return image_;
}

void ChartCanvas::paintEvent(QPaintEvent* event) {
  ensurePainted(event->rect());
  QPainter p(this);
  p.drawImage(event->rect(), image_, event->rect());
}

void ChartCanvas::changeEvent(QEvent* event) {
  // Cached faces hold the old font and colours.
  switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::ApplicationFontChange:
    case QEvent::PaletteChange:
    case QEvent::ApplicationPaletteChange:
    case QEvent::StyleChange:
      painter_->clearCache();
      redraw();
      break;
    default:
      break;
  }
  QWidget::changeEvent(event);
}

namespace {

unsigned mouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  unsigned flags = 0;
  if (buttons & Qt::LeftButton) flags |= kMouseLeft;
  if (buttons & Qt::RightButton) flags |= kMouseRight;
  if (buttons & Qt::MiddleButton) flags |= kMouseMiddle;
  if (modifiers & Qt::ShiftModifier) flags |= kKeyShift;
  if (modifiers & Qt::ControlModifier) flags |= kKeyCtrl;
  if (modifiers & Qt::AltModifier) flags |= kKeyAlt;
  return flags;
}

unsigned buttonFlag(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return kMouseLeft;
    case Qt::RightButton:
      return kMouseRight;
    case Qt::MiddleButton:
      return kMouseMiddle;
    default:
      return 0;
  }
}

ChartPoint eventPoint(const QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  return {p.x(), p.y()};
}

}  // namespace

void ChartCanvas::mousePressEvent(QMouseEvent* event) {
  const bool menu = editor_.mouseDown(buttonFlag(event->button()), eventPoint(event),
                                      mouseFlags(event->buttons(), event->modifiers()));
  redraw();
  if (menu) {
    updateContextMenu();
    if (popupEnabled) PopupMenu1->exec(event->globalPosition().toPoint());
  }
}

void ChartCanvas::mouseMoveEvent(QMouseEvent* event) {
  const bool ignored = editor_.toolMode() == kToolIgnoreNext;
  editor_.mouseMove(eventPoint(event), mouseFlags(event->buttons(), event->modifiers()));
  if (!ignored) {
    const ChartPoint p = editor_.lastMousePosition();
    emit mousePositionChanged(p.x, p.y);
  }
  redraw();
}

void ChartCanvas::mouseReleaseEvent(QMouseEvent* event) {
  editor_.mouseUp(buttonFlag(event->button()), eventPoint(event),
                  mouseFlags(event->buttons(), event->modifiers()));
  redraw();
}

void ChartCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click is a mouse-down like any other, then the double click acts;
  // a press swallowed by the ignore mode opens nothing.
  const bool ignored = editor_.toolMode() == kToolIgnoreNext;
  mousePressEvent(event);
  if (ignored || event->button() != Qt::LeftButton) return;
  const DoubleClickAction action = editor_.doubleClick();
  switch (action.kind) {
    case DoubleClickAction::kChartData:
      emit chartDataRequested();
      break;
    case DoubleClickAction::kItemEditor:
      emit itemEditorRequested(action.item);
      break;
    case DoubleClickAction::kLineReversed:
      redraw();
      break;
    case DoubleClickAction::kNothing:
      break;
  }
}

bool ChartCanvas::acceptsDrag(const QMimeData* mime) const {
  if (mime == nullptr || !mime->hasFormat(kMotionRowMime)) return false;
  int slot = -1;
  QString caption;
  return decodeMotionRow(mime->data(kMotionRowMime), slot, caption) &&
         ChartEditor::acceptsMotionRow(slot);
}

void ChartCanvas::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptsDrag(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ChartCanvas::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptsDrag(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void ChartCanvas::dropEvent(QDropEvent* event) {
  int slot = -1;
  QString caption;
  if (!event->mimeData()->hasFormat(kMotionRowMime) ||
      !decodeMotionRow(event->mimeData()->data(kMotionRowMime), slot, caption)) {
    event->ignore();
    return;
  }
  const QPoint p = event->position().toPoint();
  editor_.dropMotion(slot, caption.toStdString(), {p.x(), p.y()});
  event->acceptProposedAction();
  redraw();
}

void ChartCanvas::N21Click() {
  editor_.deselectTool();
  redraw();
}

void ChartCanvas::CopyMenuClick() {
  editor_.copy();
}

void ChartCanvas::PasteMenuClick() {
  editor_.paste();
  redraw();
}

void ChartCanvas::MirMenuClick() {
  emit conversionRequested();
}

void ChartCanvas::ColorClick(std::uint32_t color) {
  editor_.setSelectedColor(color);
  redraw();
}

void ChartCanvas::OtherColorClick() {
  // One chooser per selected item, in index order; a cancelled one leaves that item as it was.
  for (int index : editor_.selectedItems()) {
    if (!chooseColor) break;
    const auto chosen = chooseColor(chart_.items[static_cast<std::size_t>(index)].Color);
    if (chosen && index < chart_.itemCount()) {
      chart_.items[static_cast<std::size_t>(index)].Color = *chosen;
    }
  }
  chart_.deselectAll();
  redraw();
}

void ChartCanvas::PropertyMenuClick() {
  const int item = editor_.propertyItem();
  if (item >= 0) emit itemPropertiesRequested(item);
}

void ChartCanvas::PointAddBtnClick() {
  editor_.addBendPoint();
  redraw();
}

void ChartCanvas::PointDelBtnClick() {
  editor_.deleteBendPoint();
  redraw();
}

void ChartCanvas::ItemDelClick() {
  editor_.deleteFromMenu();
  redraw();
}

void ChartCanvas::N22Click() {
  editor_.selectAllItems();
  redraw();
}

}  // namespace pvrj
