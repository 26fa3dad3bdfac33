// A live strip chart of a few readings over the last thirty seconds, with level lines (references,
// thresholds) drawn across it.
#pragma once

#include <QChartView>
#include <QColor>
#include <QString>
#include <span>
#include <vector>

#include "tools/core/StripHistory.h"

class QChart;
class QLineSeries;
class QValueAxis;

namespace pvrj {

class TStripChart : public QChartView {
  Q_OBJECT
 public:
  struct Trace {
    QString name;
    QColor color;
    bool rightAxis = false;  // measured against the second axis
  };
  TStripChart(std::vector<Trace> traces, QWidget* parent = nullptr);

  // The value axes: title and range of the left one and, if any trace uses it, the right one.
  void setLeftAxis(const QString& title, double minimum, double maximum);
  void setRightAxis(const QString& title, double minimum, double maximum);

  // One value per trace at t seconds.
  void addSample(double t, std::span<const double> values);
  void clear();

  // Level lines across the plot, on the left axis: one per call of addLevel; a level can be
  // moved or hidden later.
  int addLevel(const QString& name, const QColor& color);
  void setLevel(int level, double value, bool shown = true);

  const StripHistory& history() const { return history_; }
  // Points the plot holds now for a trace, and a level's value (NaN when hidden), for tests.
  int pointCount(int trace) const;
  QPointF lastPoint(int trace) const;
  double levelValue(int level) const;
  QChart* chartObject() const { return chart_; }

 private:
  void updateTimeAxis();
  void placeLevel(int level);

  QChart* chart_;
  QValueAxis* timeAxis_;
  QValueAxis* leftAxis_;
  QValueAxis* rightAxis_ = nullptr;
  std::vector<QLineSeries*> series_;
  struct Level {
    QLineSeries* line;
    double value;
    bool shown;
  };
  std::vector<Level> levels_;
  StripHistory history_;
};

}  // namespace pvrj
