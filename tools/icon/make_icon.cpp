// Draws the program's icon at the hicolor sizes and writes it as PNG files
// and as SVG, both from the one shape list below, into the directory given.
// Run by hand when the icon changes (build the make_icon target); the files it
// writes are committed under packaging/icons/.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

// The icon on a 256 × 256 canvas: a blue tile, a rising bar chart and a
// magnifying glass, in white.
constexpr double kTileRadius = 44;
const QColor kTile(0x1E, 0x6F, 0xD9);
struct Bar {
    double x, y, w, h;
};
constexpr Bar kBars[] = {{44, 150, 30, 62}, {88, 118, 30, 94}, {132, 84, 30, 128}};
constexpr double kLensX = 176, kLensY = 92, kLensR = 38, kLensStroke = 16;
constexpr double kHandleX1 = 203, kHandleY1 = 119, kHandleX2 = 226, kHandleY2 = 142, kHandleStroke = 22;

void paint(QPainter &p, double scale)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(kTile);
    p.drawRoundedRect(QRectF(0, 0, 256, 256), kTileRadius, kTileRadius);
    p.setBrush(Qt::white);
    for (const Bar &b : kBars)
        p.drawRoundedRect(QRectF(b.x, b.y, b.w, b.h), 5, 5);
    QPen pen(Qt::white, kLensStroke);
    p.setPen(pen);
    p.setBrush(kTile);
    p.drawEllipse(QPointF(kLensX, kLensY), kLensR, kLensR);
    pen.setWidthF(kHandleStroke);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(QPointF(kHandleX1, kHandleY1), QPointF(kHandleX2, kHandleY2));
}

QString svg()
{
    QString out = QStringLiteral(
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n");
    out += QStringLiteral("  <rect width=\"256\" height=\"256\" rx=\"%1\" fill=\"%2\"/>\n")
                   .arg(kTileRadius)
                   .arg(kTile.name());
    for (const Bar &b : kBars)
        out += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"5\" fill=\"#ffffff\"/>\n")
                       .arg(b.x)
                       .arg(b.y)
                       .arg(b.w)
                       .arg(b.h);
    out += QStringLiteral(
                   "  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\" stroke=\"#ffffff\" stroke-width=\"%5\"/>\n")
                   .arg(kLensX)
                   .arg(kLensY)
                   .arg(kLensR)
                   .arg(kTile.name())
                   .arg(kLensStroke);
    out += QStringLiteral("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"#ffffff\" stroke-width=\"%5\" "
                          "stroke-linecap=\"round\"/>\n")
                   .arg(kHandleX1)
                   .arg(kHandleY1)
                   .arg(kHandleX2)
                   .arg(kHandleY2)
                   .arg(kHandleStroke);
    return out + QStringLiteral("</svg>\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32, 48, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        paint(p, size / 256.0);
        p.end();
        if (!image.save(out.filePath(QStringLiteral("%1.png").arg(size))))
            return 1;
    }
    QFile file(out.filePath(QStringLiteral("scalable.svg")));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(svg().toUtf8());
    return 0;
}
