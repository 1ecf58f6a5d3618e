#include "views/TableChart.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// The bars' own colours, by slot.
const QColor BAR_PALETTE[] = {
    QColor(220, 20, 20),  QColor(0, 150, 0),    QColor(230, 200, 0), QColor(20, 60, 220),
    QColor(150, 150, 150), QColor(200, 0, 200), QColor(0, 140, 140), QColor(0, 0, 128),
    QColor(128, 0, 0),    QColor(255, 140, 0),
};
const QColor LEFT_WALL(255, 255, 128);
const QColor BOTTOM_WALL(255, 255, 255);
constexpr int WALL_SIZE = 8;

}  // namespace

void TTableBars::Add(int x, double y, const QString& label, const QColor& color, const QString& mark) {
  Items.push_back(TPoint{x, y, label, mark, color});
}

TTableChart::TTableChart(QWidget* parent) : QWidget(parent) {
  setMinimumSize(120, 100);
  setAutoFillBackground(true);
}

TTableChart::TLayout TTableChart::Layout() const {
  TLayout layout;
  double low = 0, high = 0;
  int maxX = 0;
  for (const auto& p : Series1.Points()) {
    maxX = std::max(maxX, p.X);
    if (!p.Drawn()) continue;
    low = std::min(low, p.Y);
    high = std::max(high, p.Y);
  }
  layout.Slots = maxX + 1;
  if (high - low <= 0) high = low + 1;
  // Ticks at 1, 2 or 5 times a power of ten, about five of them.
  const double raw = (high - low) / 5;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  layout.Step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * magnitude;
  layout.AxisLow = std::floor(low / layout.Step) * layout.Step;
  layout.AxisHigh = std::ceil(high / layout.Step) * layout.Step;
  if (layout.AxisHigh <= layout.AxisLow) layout.AxisHigh = layout.AxisLow + layout.Step;

  const QFontMetrics metrics(font());
  int labelWidth = 0;
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(layout.Step))));
  for (double v = layout.AxisLow; v <= layout.AxisHigh + layout.Step / 2; v += layout.Step)
    labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::number(v, 'f', decimals)));
  const int line = metrics.height();
  const double left = labelWidth + 8 + WALL_SIZE;
  const double top = line + 10;                 // room for the marks of the highest bars
  const double bottom = line + 8 + WALL_SIZE;   // room for the bar labels
  const double right = 10;
  layout.Plot = QRectF(left, top, std::max(1.0, width() - left - right),
                       std::max(1.0, height() - top - bottom - (layout.AxisLow < 0 ? line + 4 : 0)));
  return layout;
}

QRectF TTableChart::BarRect(size_t i) const {
  const auto& points = Series1.Points();
  if (i >= points.size() || !points[i].Drawn()) return QRectF();
  const TLayout l = Layout();
  const auto toY = [&l](double v) {
    return l.Plot.bottom() - (v - l.AxisLow) / (l.AxisHigh - l.AxisLow) * l.Plot.height();
  };
  const double slot = l.Plot.width() / l.Slots;
  const double x = l.Plot.left() + points[i].X * slot + slot * 0.15;
  const double y0 = toY(0), y1 = toY(points[i].Y);
  return QRectF(QPointF(x, std::min(y0, y1)), QPointF(x + slot * 0.7, std::max(y0, y1)));
}

QColor TTableChart::BarColor(size_t i) const {
  const auto& points = Series1.Points();
  if (i >= points.size()) return QColor();
  const QColor& c = points[i].Color;
  if (!c.isValid()) return BAR_PALETTE[static_cast<unsigned>(points[i].X) % std::size(BAR_PALETTE)];
  return c;
}

void TTableChart::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const TLayout l = Layout();
  const QRectF& plot = l.Plot;
  const QFontMetrics metrics(font());
  const QColor axisColor(64, 64, 64);

  // Walls: the left one along the value axis, the bottom one under the bars.
  painter.setPen(axisColor);
  painter.setBrush(LEFT_WALL);
  painter.drawRect(QRectF(plot.left() - WALL_SIZE, plot.top(), WALL_SIZE, plot.height()));
  painter.setBrush(BOTTOM_WALL);
  painter.drawRect(QRectF(plot.left(), plot.bottom(), plot.width(), WALL_SIZE));

  // Value axis with grid lines.
  const auto toY = [&l](double v) {
    return l.Plot.bottom() - (v - l.AxisLow) / (l.AxisHigh - l.AxisLow) * l.Plot.height();
  };
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(l.Step))));
  for (int k = 0;; ++k) {
    const double v = l.AxisLow + k * l.Step;
    if (v > l.AxisHigh + l.Step / 2) break;
    const double y = toY(v);
    painter.setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(axisColor);
    const QString text = QString::number(std::fabs(v) < l.Step / 2 ? 0.0 : v, 'f', decimals);
    painter.drawText(QRectF(0, y - metrics.height() / 2.0, plot.left() - WALL_SIZE - 4, metrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, text);
  }
  painter.setPen(axisColor);
  painter.drawLine(plot.bottomLeft(), plot.topLeft());
  painter.drawLine(QPointF(plot.left(), toY(0)), QPointF(plot.right(), toY(0)));

  // Bars, their labels and value marks.
  const double slot = plot.width() / l.Slots;
  const auto& points = Series1.Points();
  for (size_t i = 0; i < points.size(); ++i) {
    const auto& p = points[i];
    const double centre = plot.left() + (p.X + 0.5) * slot;
    painter.setPen(axisColor);
    painter.drawText(QRectF(centre - slot / 2, plot.bottom() + WALL_SIZE + 2, slot, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop, p.Label);
    if (!p.Drawn()) continue;
    const QRectF bar = BarRect(i);
    painter.setPen(QColor(0, 0, 0));
    painter.setBrush(BarColor(i));
    painter.drawRect(bar);
    if (p.Mark.isEmpty()) continue;
    const double w = metrics.horizontalAdvance(p.Mark) + 6, h = metrics.height() + 2;
    const double y = p.Y < 0 ? bar.bottom() + 2 : bar.top() - h - 2;
    const QRectF box(centre - w / 2, y, w, h);
    painter.setBrush(QColor(255, 255, 225));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, p.Mark);
  }
}
