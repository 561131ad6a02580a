// Draws the picture the slideshow shows for a missing picture file: a red
// radiation-warning sign on black with the words NO DATA below it, 320 x 220.
// Run by scripts/make-nodata-picture; the result is kept in assets/.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QtMath>
#include <cstdio>

namespace {

QRectF circle(QPointF centre, double radius) {
  return QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
}

QPointF onCircle(QPointF centre, double radius, double degrees) {
  const double a = qDegreesToRadians(degrees);
  return QPointF(centre.x() + radius * qCos(a), centre.y() - radius * qSin(a));
}

// The trefoil in the usual proportions: a centre disc of radius r, three
// 60-degree blades from 1.5 r to 5 r, one pointing down and two up.
QPainterPath trefoil(QPointF centre, double r) {
  QPainterPath path;
  path.addEllipse(circle(centre, r));
  const double inner = 1.5 * r;
  const double outer = 5.0 * r;
  for (double start : {0.0, 120.0, 240.0}) {
    QPainterPath blade;
    blade.moveTo(onCircle(centre, inner, start));
    blade.arcTo(circle(centre, outer), start, 60.0);
    blade.arcTo(circle(centre, inner), start + 60.0, -60.0);
    blade.closeSubpath();
    path.addPath(blade);
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);

  const QColor red(228, 0, 0);
  QImage image(320, 220, QImage::Format_RGB32);
  image.fill(Qt::black);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawPath(trefoil(QPointF(160, 84), 13));

    QFont font("Liberation Sans");
    font.setPixelSize(40);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(font);
    p.setPen(red);
    p.drawText(QRectF(0, 154, 320, 52), Qt::AlignCenter, "NO DATA");
  }
  if (!image.save(QString::fromLocal8Bit(argv[1]), "JPG", 92)) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
