// The measurement table's bar chart: the bars of one group of quantities,
// each with its label and value mark, drawn on a value axis of round steps.
#pragma once

#include <QColor>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <vector>

// The bars of the table's chart: one point per bar slot.
class TTableBars {
public:
  // Colours a point may carry besides a real one: the bar's own colour from
  // the chart's palette, or none (the bar is not drawn; place and label stay).
  static QColor AutoColor() { return QColor(); }
  static QColor NoColor() { return QColor(Qt::transparent); }

  struct TPoint {
    int X = 0;       // slot index: the bar's place
    double Y = 0;    // bar height
    QString Label;   // shown under the bar
    QString Mark;    // value mark shown at the bar's end; empty: none
    QColor Color;    // AutoColor(), NoColor() or a colour
    bool Drawn() const { return Color != NoColor(); }
  };

  void Clear() { Items.clear(); }
  void Add(int x, double y, const QString& label, const QColor& color, const QString& mark = {});
  const std::vector<TPoint>& Points() const { return Items; }

private:
  std::vector<TPoint> Items;
};

// A plain bar chart of one TTableBars series: value axis on the left, the
// bars' labels below, value marks at the bars' ends; no legend, no title, no
// zooming or panning.
class TTableChart : public QWidget {
  Q_OBJECT
public:
  explicit TTableChart(QWidget* parent = nullptr);

  TTableBars Series1;

  // Geometry of the current series in this widget's size.
  struct TLayout {
    QRectF Plot;            // area between the axes
    double AxisLow = 0;     // value at the bottom of Plot
    double AxisHigh = 1;    // value at the top of Plot
    double Step = 1;        // between value axis ticks
    int Slots = 1;          // bar places across Plot
  };
  TLayout Layout() const;
  // Where point i of Series1 is drawn; empty for an undrawn or absent point.
  QRectF BarRect(size_t i) const;
  // The colour point i is filled with.
  QColor BarColor(size_t i) const;

protected:
  void paintEvent(QPaintEvent* event) override;
};
