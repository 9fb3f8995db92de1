// Draws pellomar-32.png, the window icon: a sheet of paper on which lines of a statement stand at
// two indent levels, as dovlek lays them out. Run once by hand (target pellomar_draw_icon) when
// the picture should change; the PNG is what the build embeds.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The sheet, with a folded corner.
    QPainterPath sheet;
    sheet.moveTo(5.5, 2.5);
    sheet.lineTo(21.5, 2.5);
    sheet.lineTo(27.5, 8.5);
    sheet.lineTo(27.5, 29.5);
    sheet.lineTo(5.5, 29.5);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(0x2f, 0x3b, 0x4c), 1.0));
    p.setBrush(QColor(0xfb, 0xfb, 0xf7));
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(21.5, 2.5);
    fold.lineTo(21.5, 8.5);
    fold.lineTo(27.5, 8.5);
    p.setBrush(QColor(0xd9, 0xde, 0xe6));
    p.drawPath(fold);

    // Keyword lines flush left in blue, the lines under them indented in grey.
    p.setPen(Qt::NoPen);
    const QColor keyword(0x1f, 0x6f, 0xd1);
    const QColor body(0x6b, 0x74, 0x80);
    struct Line {
        int indent, y, length;
        bool isKeyword;
    };
    const Line lines[] = {{0, 7, 9, true},  {4, 11, 12, false}, {4, 15, 9, false},
                          {0, 19, 7, true}, {4, 23, 11, false}, {0, 26, 0, false}};
    for (const Line& l : lines) {
        if (l.length == 0) continue;
        p.setBrush(l.isKeyword ? keyword : body);
        p.drawRoundedRect(QRectF(8 + l.indent, l.y, l.length, 2), 1, 1);
    }
    p.end();
    return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
