// Build-time tool: renders an SVG drawing to a square PNG of the given side in pixels. A
// drawing up to two pixels smaller than the side is centred on whole pixels, not stretched.
//   brindlecot_svgtopng <drawing.svg> <side> <out.png>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool sideOk = false;
    const int side = arguments.value(2).toInt(&sideOk); // pixels
    if (arguments.size() != 4 || !sideOk || side <= 0) {
        std::fprintf(stderr, "usage: brindlecot_svgtopng <drawing.svg> <side> <out.png>\n");
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "brindlecot_svgtopng: cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QRectF target(0, 0, side, side);
        const QSize drawn = renderer.defaultSize();
        if (drawn.width() < side && drawn.width() + 2 >= side) {
            const int inset = (side - drawn.width()) / 2;
            target = QRectF(QPointF(inset, inset), QSizeF(drawn));
        }
        renderer.render(&painter, target);
    }
    if (!image.save(arguments.at(3), "PNG")) {
        std::fprintf(stderr, "brindlecot_svgtopng: cannot write %s\n", qPrintable(arguments.at(3)));
        return 1;
    }
    return 0;
}
