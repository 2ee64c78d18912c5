#include "shell/ButtonGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor kGreen(0x2f, 0x86, 0x3c);
const QColor kRed(0xb8, 0x3a, 0x2e);
const QColor kInk(0x4a, 0x43, 0x3d);

QPen strokePen(const QColor& Color, qreal Width) {
  return QPen(Color, Width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawCross(QPainter& P, const QRectF& Box, const QColor& Color, qreal Width) {
  P.setPen(strokePen(Color, Width));
  P.drawLine(Box.topLeft(), Box.bottomRight());
  P.drawLine(Box.topRight(), Box.bottomLeft());
}

void drawCheck(QPainter& P, const QPointF& A, const QPointF& B, const QPointF& C, qreal Width) {
  P.setPen(strokePen(kGreen, Width));
  const QPointF points[] = {A, B, C};
  P.drawPolyline(points, 3);
}

void drawGlyph(QPainter& P, TBitBtnGlyph Glyph) {
  switch (Glyph) {
    case bgNone:
      break;
    case bgAdd:
      P.setPen(strokePen(kGreen, 4));
      P.drawLine(QPointF(12, 5), QPointF(12, 19));
      P.drawLine(QPointF(5, 12), QPointF(19, 12));
      break;
    case bgModify: {
      QPolygonF body;
      body << QPointF(6.5, 14) << QPointF(16, 4.5) << QPointF(19.5, 8) << QPointF(10, 17.5);
      P.setPen(strokePen(QColor(0x6b, 0x4a, 0x1a), 1.2));
      P.setBrush(QColor(0xe0, 0xa0, 0x30));
      P.drawPolygon(body);
      QPolygonF tip;
      tip << QPointF(4, 20) << QPointF(6.5, 14) << QPointF(10, 17.5);
      P.setBrush(QColor(0xf2, 0xd7, 0xa8));
      P.drawPolygon(tip);
      break;
    }
    case bgDelete:
      drawCross(P, QRectF(6, 6, 12, 12), kRed, 4);
      break;
    case bgDeleteAll:
      drawCross(P, QRectF(3.5, 3.5, 9, 9), kRed.lighter(135), 3);
      drawCross(P, QRectF(10.5, 10.5, 10, 10), kRed, 3.5);
      break;
    case bgValidate:
      drawCheck(P, QPointF(5, 13), QPointF(10, 18), QPointF(19, 6), 4);
      break;
    case bgCancel:
      P.setPen(strokePen(kRed, 3));
      P.setBrush(Qt::NoBrush);
      P.drawEllipse(QRectF(4.5, 4.5, 15, 15));
      P.drawLine(QPointF(7.5, 16.5), QPointF(16.5, 7.5));
      break;
    case bgClose: {
      P.setPen(strokePen(kInk, 1.2));
      P.setBrush(QColor(0x9c, 0x83, 0x6f));
      P.drawRect(QRectF(4, 3, 9, 18));
      P.setPen(strokePen(kInk, 2.5));
      P.drawLine(QPointF(11, 12), QPointF(20, 12));
      const QPointF head[] = {QPointF(17, 8.5), QPointF(20.5, 12), QPointF(17, 15.5)};
      P.drawPolyline(head, 3);
      break;
    }
    case bgSave:
      P.setPen(strokePen(QColor(0x2c, 0x3e, 0x5c), 1.2));
      P.setBrush(QColor(0x4a, 0x6f, 0xa5));
      P.drawRoundedRect(QRectF(4, 4, 16, 16), 2, 2);
      P.setBrush(QColor(0xdf, 0xe6, 0xee));
      P.drawRect(QRectF(7, 4, 9, 5.5));
      P.setBrush(Qt::white);
      P.drawRect(QRectF(7, 13, 10, 7));
      break;
    case bgSelect:
      P.setPen(strokePen(kInk.lighter(150), 2));
      for (qreal y : {7.0, 12.0, 17.0}) P.drawLine(QPointF(3.5, y), QPointF(11, y));
      drawCheck(P, QPointF(12.5, 13), QPointF(15.5, 17), QPointF(21, 6.5), 3);
      break;
  }
}

}  // namespace

QIcon BitBtnGlyphIcon(TBitBtnGlyph Glyph) {
  if (Glyph == bgNone) return QIcon();
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(kBitBtnGlyphSize * scale, kBitBtnGlyphSize * scale);
    pixmap.fill(Qt::transparent);
    {
      QPainter p(&pixmap);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(scale, scale);
      drawGlyph(p, Glyph);
    }
    pixmap.setDevicePixelRatio(scale);
    icon.addPixmap(pixmap);
  }
  return icon;
}
