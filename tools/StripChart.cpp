// The strip chart: the samples thinned by StripHistory, mirrored into line series.
#include "tools/StripChart.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <cmath>
#include <limits>

namespace pvrj {
namespace {

constexpr int kTraceWidth = 2;
constexpr int kPlotMinimumHeight = 240;
constexpr int kPlotMinimumWidth = 520;
constexpr int kTimeTicks = 7;  // every five seconds over thirty

}  // namespace

TStripChart::TStripChart(std::vector<Trace> traces, QWidget* parent)
    : QChartView(parent), chart_(new QChart), history_(traces.size()) {
  chart_->legend()->setAlignment(Qt::AlignTop);
  chart_->setMargins(QMargins(2, 2, 2, 2));
  chart_->setBackgroundRoundness(0);
  setChart(chart_);  // the view owns the chart from here on
  setRenderHint(QPainter::Antialiasing, false);
  setMinimumSize(kPlotMinimumWidth, kPlotMinimumHeight);

  timeAxis_ = new QValueAxis(chart_);
  timeAxis_->setLabelFormat(QStringLiteral("%.0f s"));
  timeAxis_->setTickCount(kTimeTicks);
  timeAxis_->setRange(-kStripWindowSeconds, 0);
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  leftAxis_ = new QValueAxis(chart_);
  leftAxis_->setLabelFormat(QStringLiteral("%.1f"));
  chart_->addAxis(leftAxis_, Qt::AlignLeft);

  bool anyRight = false;
  for (const Trace& t : traces) anyRight = anyRight || t.rightAxis;
  if (anyRight) {
    rightAxis_ = new QValueAxis(chart_);
    rightAxis_->setLabelFormat(QStringLiteral("%.1f"));
    chart_->addAxis(rightAxis_, Qt::AlignRight);
  }
  for (const Trace& t : traces) {
    auto* s = new QLineSeries(chart_);
    s->setName(t.name);
    s->setPen(QPen(t.color, kTraceWidth));
    chart_->addSeries(s);
    s->attachAxis(timeAxis_);
    s->attachAxis(t.rightAxis ? rightAxis_ : leftAxis_);
    series_.push_back(s);
  }
}

void TStripChart::setLeftAxis(const QString& title, double minimum, double maximum) {
  leftAxis_->setTitleText(title);
  leftAxis_->setRange(minimum, maximum);
}

void TStripChart::setRightAxis(const QString& title, double minimum, double maximum) {
  if (!rightAxis_) return;
  rightAxis_->setTitleText(title);
  rightAxis_->setRange(minimum, maximum);
}

void TStripChart::addSample(double t, std::span<const double> values) {
  const StripHistory::Change change = history_.add(t, values);
  const std::size_t dropped = history_.trim();
  for (std::size_t k = 0; k < series_.size(); ++k) {
    QLineSeries* s = series_[k];
    const StripPoint& p = history_.series(k).back();
    if (change == StripHistory::Change::kReplaced && s->count() > 0) {
      s->replace(s->count() - 1, QPointF(p.t, p.value));
    } else {
      s->append(p.t, p.value);
    }
    if (dropped > 0)
      s->removePoints(0, static_cast<int>(
                             std::min<std::size_t>(dropped, static_cast<std::size_t>(s->count()))));
  }
  updateTimeAxis();
}

void TStripChart::clear() {
  history_.clear();
  for (QLineSeries* s : series_) s->clear();
  updateTimeAxis();
}

int TStripChart::addLevel(const QString& name, const QColor& color) {
  auto* line = new QLineSeries(chart_);
  line->setName(name);
  QPen pen(color, 1, Qt::DashLine);
  line->setPen(pen);
  chart_->addSeries(line);
  line->attachAxis(timeAxis_);
  line->attachAxis(leftAxis_);
  line->setVisible(false);
  // The levels explain themselves by their colour; the legend names the readings only.
  for (QLegendMarker* marker : chart_->legend()->markers(line)) marker->setVisible(false);
  levels_.push_back({line, std::numeric_limits<double>::quiet_NaN(), false});
  return static_cast<int>(levels_.size()) - 1;
}

void TStripChart::setLevel(int level, double value, bool shown) {
  if (level < 0 || level >= static_cast<int>(levels_.size())) return;
  Level& l = levels_[static_cast<std::size_t>(level)];
  l.value = value;
  l.shown = shown;
  l.line->setVisible(shown);
  for (QLegendMarker* marker : chart_->legend()->markers(l.line)) marker->setVisible(false);
  placeLevel(level);
}

void TStripChart::placeLevel(int level) {
  Level& l = levels_[static_cast<std::size_t>(level)];
  if (!l.shown) return;
  const double right = history_.empty() ? 0.0 : history_.latest();
  const QList<QPointF> points{{right - kStripWindowSeconds, l.value}, {right, l.value}};
  l.line->replace(points);
}

void TStripChart::updateTimeAxis() {
  const double right = history_.empty() ? 0.0 : history_.latest();
  timeAxis_->setRange(right - kStripWindowSeconds, right);
  for (int i = 0; i < static_cast<int>(levels_.size()); ++i) placeLevel(i);
}

int TStripChart::pointCount(int trace) const {
  return series_[static_cast<std::size_t>(trace)]->count();
}

QPointF TStripChart::lastPoint(int trace) const {
  const QLineSeries* s = series_[static_cast<std::size_t>(trace)];
  return s->count() > 0 ? s->at(s->count() - 1) : QPointF();
}

double TStripChart::levelValue(int level) const {
  const Level& l = levels_[static_cast<std::size_t>(level)];
  return l.shown ? l.value : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace pvrj
