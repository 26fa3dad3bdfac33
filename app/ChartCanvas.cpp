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
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
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

// Zooms and screen scales are compared with this much room for rounding.
constexpr double kScaleEpsilon = 1e-6;
// A wheel notch, in eighths of a degree.
constexpr int kWheelNotch = 120;

bool unscaled(double scale) {
  return std::abs(scale - 1.0) < kScaleEpsilon;
}

// A canvas side in pixels at a scale, rounded up so the image holds the whole canvas.
int scaledSide(int side, double scale) {
  if (unscaled(scale)) return side;
  return std::max(1, static_cast<int>(std::ceil(side * scale - kScaleEpsilon)));
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
  std::int64_t scale = 0;  // 0: drawn pixel for pixel; else the scale in millionths
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
    mix(static_cast<std::uint64_t>(k.scale));
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

// One item face at a scale other than 1, drawn at the image's resolution: the outline and the
// rounded corners as shapes, the name in the font scaled with them.
QImage renderScaledFace(const QFont& font, int w, int h, bool plain, std::uint32_t fill,
                        std::uint32_t text, const QString& name, double scale) {
  const int dw = std::max(1, static_cast<int>(std::lround(w * scale)));
  const int dh = std::max(1, static_cast<int>(std::lround(h * scale)));
  const QFontMetrics metrics(font);
  const int mx = static_cast<int>(
      std::ceil((std::max(0, (metrics.horizontalAdvance(name) - w) / 2) + kTextMargin) * scale));
  const int my =
      static_cast<int>(std::ceil((std::max(0, (metrics.height() - h) / 2) + kTextMargin) * scale));
  QImage scratch(dw + 2 * mx, dh + 2 * my, QImage::Format_ARGB32_Premultiplied);
  scratch.fill(Qt::transparent);
  QPainter sp(&scratch);
  sp.setRenderHint(QPainter::Antialiasing, true);
  sp.setRenderHint(QPainter::TextAntialiasing, true);
  sp.setFont(font);
  sp.translate(mx, my);
  sp.scale(static_cast<double>(dw) / w, static_cast<double>(dh) / h);
  sp.setPen(QPen(Qt::black, 1));
  sp.setBrush(toQColor(fill));
  const QRectF outline(0.5, 0.5, w - 1.0, h - 1.0);
  if (plain) {
    sp.drawRect(outline);
  } else {
    sp.drawRoundedRect(outline, kItemCornerEllipse / 2.0, kItemCornerEllipse / 2.0);
  }
  sp.setPen(toQColor(text));
  sp.drawText(QRectF(0, 0, w, h), Qt::AlignCenter | Qt::TextSingleLine, name);
  sp.end();
  return scratch.copy(mx, my, dw, dh);
}

void drawArrow(QPainter& p, const std::array<ChartPoint, 3>& corners, std::uint32_t pen,
               std::uint32_t fill) {
  p.setPen(QPen(toQColor(pen), 1, Qt::SolidLine));
  p.setBrush(toQColor(fill));
  const QPoint points[3] = {toQPoint(corners[0]), toQPoint(corners[1]), toQPoint(corners[2])};
  p.drawPolygon(points, 3);
}

// The start flag, then the rubber band and the line being drawn, in chart coordinates.
void paintMarks(QPainter& p, const Chart& chart, const Colors& colors, const ChartEditor* editor,
                bool startFlag = true) {
  if (startFlag && chart.validItem(chart.Start)) {
    const ChartItem& item = chart.items[static_cast<std::size_t>(chart.Start)];
    const StartMark mark = startMark(item);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(toQColor(item.Selected ? colors.highlight : kRed));
    const QPoint flag[3] = {toQPoint(mark.flag[0]), toQPoint(mark.flag[1]), toQPoint(mark.flag[2])};
    p.drawPolygon(flag, 3);
    p.drawLine(toQPoint(mark.poleTop), toQPoint(mark.poleBottom));
  }
  // A line or rubber band begun on a chart since replaced names items that are gone.
  if (editor == nullptr || !editor->followsChart()) return;
  if (editor->rubberBand()) {
    const ChartPoint a = editor->mouseDownPoint();
    const ChartPoint b = editor->currentPoint();
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    const QPoint band[5] = {{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}, {a.x, a.y}};
    p.drawPolyline(band, 5);
  }
  if (editor->lineDrawing() && !editor->linePoints().empty()) {
    p.setPen(QPen(toQColor(kRed), 1, Qt::SolidLine));
    QPolygon line;
    for (const auto& q : editor->linePoints()) line << toQPoint(q);
    line << toQPoint(editor->currentPoint());
    p.drawPolyline(line);
  }
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

  // The start flag (when it is in sight), the rubber band and the line being drawn.
  bool flagInSight = false;
  if (chart.validItem(chart.Start)) {
    const ChartItem& start = chart.items[static_cast<std::size_t>(chart.Start)];
    flagInSight = !boxMisses(start.Left - kFlagReach, start.Top - kFlagReach,
                             start.Left + kFlagReach, start.Top + kFlagReach);
  }
  paintMarks(p, chart, colors, editor, flagInSight);
}

QImage ChartPainter::scaledFace(const QFont& font, const ChartItem& item, bool plain,
                                std::uint32_t fill, std::uint32_t text, double scale) {
  const QString name = QString::fromStdString(item.Name);
  if (!caching_ || item.Width > kMaxFaceSide || item.Height > kMaxFaceSide)
    return renderScaledFace(font, item.Width, item.Height, plain, fill, text, name, scale);
  FaceKey key{item.Width, item.Height, plain, fill, text, item.Name, std::llround(scale * 1e6)};
  auto found = cache_->faces.find(key);
  if (found == cache_->faces.end()) {
    if (cache_->faces.size() >= kMaxCachedFaces) cache_->faces.clear();
    found = cache_->faces
                .emplace(std::move(key), renderScaledFace(font, item.Width, item.Height, plain,
                                                          fill, text, name, scale))
                .first;
  }
  return found->second;
}

void ChartPainter::paintScaled(QImage& image, const QRect& area, const Chart& chart,
                               const ChartEditor* editor, double scale) {
  if (unscaled(scale) || scale <= 0) {
    paint(image, area, chart, editor);
    return;
  }
  const QRect clip = area.intersected(image.rect());
  if (clip.isEmpty()) return;
  Colors colors{paletteSystemColor(kSysWindowColor), paletteSystemColor(kSysHighlightColor),
                paletteSystemColor(kSysHighlightTextColor)};
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setClipRect(clip);
  const QFont font = QApplication::font();
  p.setFont(font);
  p.fillRect(clip, toQColor(colors.window));

  // The part of the chart the area shows, with room for arrow heads and marks.
  const QRectF reach =
      QRectF(clip.x() / scale, clip.y() / scale, clip.width() / scale, clip.height() / scale)
          .adjusted(-kArrowReach, -kArrowReach, kArrowReach, kArrowReach);
  auto boxMisses = [&reach](double x0, double y0, double x1, double y1) {
    return std::max(x0, x1) < reach.left() || std::min(x0, x1) > reach.right() ||
           std::max(y0, y1) < reach.top() || std::min(y0, y1) > reach.bottom();
  };

  // Lines, arrow heads and bend point marks, drawn as shapes in chart coordinates. A chart pixel
  // is the square from (x, y) to (x + 1, y + 1); shapes run through its middle, as they do when
  // drawn pixel for pixel.
  p.save();
  p.scale(scale, scale);
  p.translate(0.5, 0.5);
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
        drawArrow(p, arrowHead(a, b), pen, fill);
      }
      if (link.Selected && j < link.Point.size()) {
        const ChartPoint q = link.Point[j];
        if (!boxMisses(q.x, q.y, q.x, q.y)) {
          p.setPen(QPen(toQColor(pen), 1));
          p.setBrush(Qt::white);
          p.drawRect(q.x - kBendMarkHalf, q.y - kBendMarkHalf, kBendMarkSize, kBendMarkSize);
        }
      }
    }
  }
  p.restore();

  // Items, each face drawn at the image's resolution where its box lands.
  auto drawItem = [&](const ChartItem& item) {
    if (item.Width <= 0 || item.Height <= 0) return;
    if (boxMisses(item.Left, item.Top, item.Left + item.Width, item.Top + item.Height)) return;
    const bool plain = item.Type == kItemMot;
    const std::uint32_t fill = item.Selected ? colors.highlight : colors.resolve(item.Color);
    const std::uint32_t text =
        item.Selected ? colors.highlightText
                      : (colorLuminance(fill) <= kContrastLuminanceLimit ? kWhite : kBlack);
    p.drawImage(QPoint(static_cast<int>(std::lround(item.Left * scale)),
                       static_cast<int>(std::lround(item.Top * scale))),
                scaledFace(font, item, plain, fill, text, scale));
  };
  for (const auto& item : chart.items) {
    if (!item.Selected) drawItem(item);
  }
  for (const auto& item : chart.items) {
    if (item.Selected) drawItem(item);
  }

  p.scale(scale, scale);
  p.translate(0.5, 0.5);
  paintMarks(p, chart, colors, editor);
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

double ChartCanvas::wantedImageScale() const {
  const double ratio = devicePixelRatioSource ? devicePixelRatioSource() : devicePixelRatioF();
  return zoom_ * (ratio > 0 ? ratio : 1.0);
}

QRect ChartCanvas::toImage(const QRect& widgetRect) const {
  const double ratio = imageScale_ / zoom_;
  if (unscaled(ratio)) return widgetRect;
  return QRectF(widgetRect.x() * ratio, widgetRect.y() * ratio, widgetRect.width() * ratio,
                widgetRect.height() * ratio)
      .toAlignedRect();
}

void ChartCanvas::redraw() {
  editor_.followChart();
  const int width = clampSide(chart_.Width);
  const int height = clampSide(chart_.Height);
  const QSize size(scaledSide(width, zoom_), scaledSide(height, zoom_));
  if (this->size() != size) setFixedSize(size);
  imageScale_ = wantedImageScale();
  const QSize imageSize(scaledSide(width, imageScale_), scaledSide(height, imageScale_));
  if (image_.size() != imageSize) image_ = QImage(imageSize, QImage::Format_RGB32);
  valid_ = QRect();
  paintVisible();
}

void ChartCanvas::paintImage(const QRect& area) const {
  painter_->paintScaled(image_, area, chart_, &editor_, imageScale_);
}

void ChartCanvas::paintVisible() {
  const QRect area = toImage(visibleArea());
  valid_ = QRect();
  if (!area.isEmpty()) {
    paintImage(area);
    valid_ = area.intersected(image_.rect());
  }
  update();
}

void ChartCanvas::ensurePainted(const QRect& area) const {
  const QRect wanted = area.intersected(image_.rect());
  if (wanted.isEmpty() || valid_.contains(wanted)) return;
  // Repainting the part that is already valid is harmless; one rectangle keeps it simple.
  const QRect repaint = valid_.isEmpty() ? wanted : valid_.united(wanted);
  paintImage(repaint);
  valid_ = repaint;
}

const QImage& ChartCanvas::image() const {
  ensurePainted(image_.rect());
  return image_;
}

void ChartCanvas::paintEvent(QPaintEvent* event) {
  if (std::abs(wantedImageScale() - imageScale_) > kScaleEpsilon) {
    // Moved to a screen with another pixel ratio: the image is made again at the new resolution.
    imageScale_ = wantedImageScale();
    image_ = QImage(scaledSide(clampSide(chart_.Width), imageScale_),
                    scaledSide(clampSide(chart_.Height), imageScale_), QImage::Format_RGB32);
    valid_ = QRect();
  }
  const QRect source = toImage(event->rect());
  ensurePainted(source);
  QPainter p(this);
  const double ratio = imageScale_ / zoom_;
  if (unscaled(ratio)) {
    p.drawImage(event->rect(), image_, event->rect());
  } else {
    p.drawImage(QRectF(source.x() / ratio, source.y() / ratio, source.width() / ratio,
                       source.height() / ratio),
                image_, QRectF(source));
  }
}

void ChartCanvas::setZoom(double zoom, std::optional<QPointF> anchor) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  if (std::abs(zoom - zoom_) < kScaleEpsilon) return;
  // The scroll area the canvas sits in, if any: its viewport is the canvas's parent.
  QScrollArea* area = nullptr;
  if (QWidget* viewport = parentWidget())
    area = qobject_cast<QScrollArea*>(viewport->parentWidget());
  if (area && !anchor) anchor = QPointF(visibleArea().center());
  QPointF chartPoint;
  QPointF inViewport;
  if (area && anchor) {
    chartPoint = *anchor / zoom_;
    inViewport = *anchor + QPointF(pos());
  }
  zoom_ = zoom;
  redraw();
  if (area && anchor) {
    area->horizontalScrollBar()->setValue(
        static_cast<int>(std::lround(chartPoint.x() * zoom_ - inViewport.x())));
    area->verticalScrollBar()->setValue(
        static_cast<int>(std::lround(chartPoint.y() * zoom_ - inViewport.y())));
    paintVisible();
  }
  emit zoomChanged(zoom_);
}

void ChartCanvas::zoomIn(std::optional<QPointF> anchor) {
  for (int percent : kZoomStepsPercent) {
    if (percent / 100.0 > zoom_ + kScaleEpsilon) {
      setZoom(percent / 100.0, anchor);
      return;
    }
  }
}

void ChartCanvas::zoomOut(std::optional<QPointF> anchor) {
  for (auto it = std::rbegin(kZoomStepsPercent); it != std::rend(kZoomStepsPercent); ++it) {
    if (*it / 100.0 < zoom_ - kScaleEpsilon) {
      setZoom(*it / 100.0, anchor);
      return;
    }
  }
}

double ChartCanvas::fitZoom(QSize room) const {
  const double w = clampSide(chart_.Width);
  const double h = clampSide(chart_.Height);
  if (room.width() <= 0 || room.height() <= 0) return zoom_;
  return std::clamp(std::min(room.width() / w, room.height() / h), kMinZoom, kMaxZoom);
}

ChartPoint ChartCanvas::toChart(QPointF position) const {
  if (unscaled(zoom_)) {
    const QPoint p = position.toPoint();
    return {p.x(), p.y()};
  }
  return {static_cast<std::int32_t>(std::floor(position.x() / zoom_)),
          static_cast<std::int32_t>(std::floor(position.y() / zoom_))};
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

}  // namespace

void ChartCanvas::mousePressEvent(QMouseEvent* event) {
  // Whatever changed the chart before this press (an item editor) is a step of its own.
  emit editBoundary();
  const bool menu = editor_.mouseDown(buttonFlag(event->button()), toChart(event->position()),
                                      mouseFlags(event->buttons(), event->modifiers()));
  redraw();
  if (menu) {
    updateContextMenu();
    if (popupEnabled) PopupMenu1->exec(event->globalPosition().toPoint());
  }
}

void ChartCanvas::mouseMoveEvent(QMouseEvent* event) {
  const bool ignored = editor_.toolMode() == kToolIgnoreNext;
  editor_.mouseMove(toChart(event->position()), mouseFlags(event->buttons(), event->modifiers()));
  if (!ignored) {
    const ChartPoint p = editor_.lastMousePosition();
    emit mousePositionChanged(p.x, p.y);
  }
  redraw();
}

void ChartCanvas::mouseReleaseEvent(QMouseEvent* event) {
  editor_.mouseUp(buttonFlag(event->button()), toChart(event->position()),
                  mouseFlags(event->buttons(), event->modifiers()));
  redraw();
  emit editBoundary();  // a drag is one step
}

void ChartCanvas::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    event->ignore();  // the scroll area scrolls
    return;
  }
  // Fine-grained wheels (touchpads) add up to whole notches.
  wheelAngle_ += event->angleDelta().y();
  const int steps = wheelAngle_ / kWheelNotch;
  wheelAngle_ -= steps * kWheelNotch;
  for (int k = 0; k < std::abs(steps); ++k) {
    if (steps > 0) {
      zoomIn(event->position());
    } else {
      zoomOut(event->position());
    }
  }
  event->accept();
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
      emit editBoundary();
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
  editor_.dropMotion(slot, caption.toStdString(), toChart(event->position()));
  event->acceptProposedAction();
  redraw();
  emit editBoundary();
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
  emit editBoundary();
}

void ChartCanvas::MirMenuClick() {
  emit conversionRequested();
}

void ChartCanvas::ColorClick(std::uint32_t color) {
  editor_.setSelectedColor(color);
  redraw();
  emit editBoundary();
}

void ChartCanvas::OtherColorClick() {
  // One chooser per selected item, in index order; a cancelled one leaves that item as it was.
  // The chooser runs the event loop: a chart handed over by another start may replace this one
  // meanwhile, and the indices taken before then name nothing (or other items).
  const std::uint64_t generation = chart_.generation.value();
  for (int index : editor_.selectedItems()) {
    if (!chooseColor || chart_.generation.value() != generation || index >= chart_.itemCount())
      break;
    const auto chosen = chooseColor(chart_.items[static_cast<std::size_t>(index)].Color);
    if (chosen && chart_.generation.value() == generation && index < chart_.itemCount()) {
      chart_.items[static_cast<std::size_t>(index)].Color = *chosen;
    }
  }
  chart_.deselectAll();
  redraw();
  emit editBoundary();
}

void ChartCanvas::PropertyMenuClick() {
  const int item = editor_.propertyItem();
  if (item >= 0) emit itemPropertiesRequested(item);
}

void ChartCanvas::PointAddBtnClick() {
  editor_.addBendPoint();
  redraw();
  emit editBoundary();
}

void ChartCanvas::PointDelBtnClick() {
  editor_.deleteBendPoint();
  redraw();
  emit editBoundary();
}

void ChartCanvas::ItemDelClick() {
  editor_.deleteFromMenu();
  redraw();
  emit editBoundary();
}

void ChartCanvas::N22Click() {
  editor_.selectAllItems();
  redraw();
}

}  // namespace pvrj
