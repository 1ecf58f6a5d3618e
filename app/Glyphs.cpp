// Glyphs drawn with vector strokes on a 24 x 24 design grid and scaled to the
// size asked for, so the icon engine never scales a bitmap.
#include "app/Glyphs.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

class TGlyphEngine : public QIconEngine {
public:
  explicit TGlyphEngine(TGlyph glyph) : Glyph(glyph) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(rect.width(), rect.height());
    painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
    painter->scale(side / 24.0, side / 24.0);
    Disabled = mode == QIcon::Disabled;
    Draw(*painter);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    QPixmap image(size * scale);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      paint(&painter, QRect(QPoint(0, 0), size * scale), mode, state);
    }
    image.setDevicePixelRatio(scale);
    return image;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  QIconEngine* clone() const override { return new TGlyphEngine(Glyph); }
  QString key() const override { return QStringLiteral("kavrel-glyph"); }

private:
  // Disabled glyphs keep their shape in shades of grey.
  QColor C(int r, int g, int b) const {
    if (!Disabled) return QColor(r, g, b);
    const int grey = 150 + (r * 11 + g * 16 + b * 5) / 32 / 3;
    return QColor(grey, grey, grey);
  }
  QPen Line(QColor color, qreal width = 1.2) const {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
  }

  void Draw(QPainter& p) const {
    switch (Glyph) {
      case TGlyph::Table: DrawTable(p); break;
      case TGlyph::Charts: DrawCharts(p); break;
      case TGlyph::Print: DrawPrint(p); break;
      case TGlyph::Exit: DrawExit(p); break;
      case TGlyph::DeviceList: DrawDeviceList(p); break;
      case TGlyph::Program: DrawProgram(p); break;
    }
  }

  void DrawTable(QPainter& p) const {
    const QRectF sheet(2.5, 3.5, 19, 17);
    p.setPen(Line(C(40, 60, 110)));
    p.setBrush(C(255, 255, 255));
    p.drawRoundedRect(sheet, 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(C(60, 110, 200));
    p.drawRect(QRectF(3.1, 4.1, 17.8, 3.9));
    p.setPen(Line(C(120, 140, 180), 0.8));
    for (qreal y : {11.5, 15.0}) p.drawLine(QPointF(3, y), QPointF(21.5, y));
    for (qreal x : {8.5, 15.0}) p.drawLine(QPointF(x, 8), QPointF(x, 20));
    p.setPen(Line(C(200, 60, 40), 1.4));
    p.drawLine(QPointF(10, 9.8), QPointF(13.5, 9.8));
    p.drawLine(QPointF(16.5, 13.3), QPointF(19.5, 13.3));
  }

  void DrawCharts(QPainter& p) const {
    p.setPen(Qt::NoPen);
    p.setBrush(C(255, 255, 235));
    p.drawRect(QRectF(4, 3, 17, 16));
    p.setPen(Line(C(50, 50, 50), 1.5));
    p.drawLine(QPointF(4, 2.5), QPointF(4, 20));
    p.drawLine(QPointF(3, 20), QPointF(21.5, 20));
    QPainterPath red;
    red.moveTo(5, 15);
    red.cubicTo(8, 5, 10, 5, 12.5, 11);
    red.cubicTo(15, 17, 17.5, 16, 20.5, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(Line(C(210, 40, 40), 1.7));
    p.drawPath(red);
    p.setPen(Line(C(40, 90, 210), 1.7));
    p.drawPolyline(QPolygonF({QPointF(5, 18), QPointF(9, 13), QPointF(13, 15), QPointF(17, 10),
                              QPointF(20.5, 12)}));
  }

  void DrawPrint(QPainter& p) const {
    p.setPen(Line(C(70, 70, 70)));
    p.setBrush(C(255, 255, 255));
    p.drawRect(QRectF(7, 2.5, 10, 7));  // paper going in
    p.setBrush(C(150, 155, 165));
    p.drawRoundedRect(QRectF(2.5, 8.5, 19, 8.5), 2, 2);
    p.setBrush(C(255, 255, 255));
    p.drawRect(QRectF(6.5, 14, 11, 7.5));  // printed sheet
    p.setPen(Line(C(60, 90, 180), 0.9));
    for (qreal y : {16.3, 18.3}) p.drawLine(QPointF(8.5, y), QPointF(15.5, y));
    p.setPen(Qt::NoPen);
    p.setBrush(C(60, 200, 80));
    p.drawEllipse(QPointF(18.7, 11.2), 1.1, 1.1);
  }

  void DrawExit(QPainter& p) const {
    p.setPen(Line(C(90, 60, 30)));
    p.setBrush(C(190, 130, 70));
    p.drawRect(QRectF(3.5, 2.5, 10, 19));  // door
    p.setPen(Qt::NoPen);
    p.setBrush(C(250, 220, 90));
    p.drawEllipse(QPointF(11.3, 12), 1, 1);
    p.setPen(Line(C(200, 40, 40), 2.4));
    p.drawLine(QPointF(9, 12), QPointF(20.5, 12));
    p.drawPolyline(QPolygonF({QPointF(16.5, 8), QPointF(20.8, 12), QPointF(16.5, 16)}));
  }

  void DrawDeviceList(QPainter& p) const {
    for (int i = 0; i < 3; ++i) {
      const qreal y = 3 + i * 6.5;
      p.setPen(Line(C(30, 50, 90), 1.0));
      p.setBrush(C(60, 110, 200));
      p.drawRoundedRect(QRectF(2.5, y, 6, 5), 1, 1);
      p.setPen(Qt::NoPen);
      p.setBrush(C(150, 240, 150));
      p.drawRect(QRectF(3.7, y + 1.1, 3.6, 1.6));
      p.setPen(Line(C(60, 60, 60), 1.6));
      p.drawLine(QPointF(11, y + 2.5), QPointF(21.5, y + 2.5));
    }
  }

  void DrawProgram(QPainter& p) const {
    p.setPen(Line(C(20, 30, 50), 1.0));
    p.setBrush(C(45, 70, 120));
    p.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 3.5, 3.5);
    p.setBrush(C(170, 235, 170));
    p.drawRoundedRect(QRectF(4, 4, 16, 10), 1.5, 1.5);
    QPainterPath wave;
    wave.moveTo(5, 9);
    wave.cubicTo(7, 3.5, 9, 3.5, 12, 9);
    wave.cubicTo(15, 14.5, 17, 14.5, 19, 9);
    p.setBrush(Qt::NoBrush);
    p.setPen(Line(C(20, 90, 40), 1.5));
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    const QColor phases[] = {C(230, 60, 50), C(250, 200, 60), C(90, 170, 250)};
    for (int i = 0; i < 3; ++i) {
      p.setBrush(phases[i]);
      p.drawEllipse(QPointF(7 + i * 5, 18.5), 1.6, 1.6);
    }
  }

  TGlyph Glyph;
  bool Disabled = false;
};

}  // namespace

QIcon MakeGlyph(TGlyph glyph) { return QIcon(new TGlyphEngine(glyph)); }
