// Draws Tagkana's icon: a hiragana "あ" on a note-coloured tile, at 16, 32
// and 48 pixels, plus a Windows .ico holding the three PNGs. Run once and
// commit the results:
//   g++ -std=c++20 -fPIC drawicons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/drawicons
//   QT_QPA_PLATFORM=offscreen /tmp/drawicons .
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

namespace {

QImage draw(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const qreal s = size;
  const QRectF tile(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
  QLinearGradient fill(tile.topLeft(), tile.bottomRight());
  fill.setColorAt(0, QColor(0xff, 0x8a, 0x3d));
  fill.setColorAt(1, QColor(0xd8, 0x43, 0x15));
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(tile, s * 0.2, s * 0.2);

  if (size >= 32) {
    // An eighth note in the top right corner.
    p.setBrush(QColor(255, 255, 255, 200));
    const qreal r = s * 0.075;
    const QPointF head(s * 0.74, s * 0.33);
    p.drawEllipse(head, r * 1.2, r);
    p.setPen(QPen(QColor(255, 255, 255, 200), s * 0.035));
    const qreal stemX = head.x() + r * 1.1;
    p.drawLine(QPointF(stemX, head.y()), QPointF(stemX, s * 0.1));
    p.drawLine(QPointF(stemX, s * 0.1), QPointF(stemX + s * 0.08, s * 0.18));
  }

  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(size >= 32 ? int(s * 0.62) : int(s * 0.8));
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  const QRectF text = size >= 32 ? QRectF(0, s * 0.12, s * 0.8, s * 0.88) : QRectF(0, 0, s, s);
  p.drawText(text, Qt::AlignCenter, QStringLiteral("あ"));
  return image;
}

QByteArray png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

template <typename T>
void put(QByteArray& out, T value) {
  value = qToLittleEndian(value);
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  const int sizes[] = {16, 32, 48};
  QList<QByteArray> images;
  for (int size : sizes) {
    images.append(png(draw(size)));
    QFile file(QStringLiteral("%1/tagkana-%2.png").arg(dir).arg(size));
    if (!file.open(QIODevice::WriteOnly) || file.write(images.back()) != images.back().size()) {
      return 1;
    }
  }
  // ICONDIR, one ICONDIRENTRY per image, then the PNG data.
  QByteArray ico;
  put<quint16>(ico, 0);
  put<quint16>(ico, 1);
  put<quint16>(ico, 3);
  quint32 offset = 6 + 16 * 3;
  for (int i = 0; i < 3; ++i) {
    ico.append(char(sizes[i]));
    ico.append(char(sizes[i]));
    ico.append(char(0));
    ico.append(char(0));
    put<quint16>(ico, 1);
    put<quint16>(ico, 32);
    put<quint32>(ico, quint32(images[i].size()));
    put<quint32>(ico, offset);
    offset += quint32(images[i].size());
  }
  for (const QByteArray& image : images) {
    ico.append(image);
  }
  QFile file(dir + QStringLiteral("/tagkana.ico"));
  return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() ? 0 : 1;
}
