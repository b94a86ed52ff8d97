#include "platform/Pictures.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <iterator>

// Every picture is one or two SVG drawings from the resource folder :/pictures, rendered
// afresh for each size and device pixel ratio that is asked for, never scaled from a bitmap.
// Small sizes have drawings of their own, laid out on the pixel grid of that size (whole-pixel
// lines, hands on pixel edges): "face-grey-16.svg" is the grey face drawn for 16 pixels,
// "face-grey.svg" the one for sizes without a drawing of their own.
namespace {

// Where a drawing sits in the square of the picture.
enum class Place {
    Whole,  // fills the square
    Badge,  // lower-right corner, 9/16 of the side, with a gap cut into what lies below
};

struct Layer {
    const char *name; // drawing in :/pictures without ".svg"
    Place place;
};

// Pixel sizes for which a drawing may have a grid-fitted variant "<name>-<size>.svg".
// A picture one or two pixels larger is drawn at that size, centred, rather than stretched.
constexpr int variantSizes[] = { 9, 12, 16, 22, 32 };
constexpr int variantSlack = 2; // pixels

// The grid a picture of `side` pixels is laid out on: the size of a grid-fitted drawing that
// serves it, or the side itself.
int gridFor(int side)
{
    for (const int size : variantSizes) {
        if (side >= size && side <= size + variantSlack)
            return size;
    }
    return side;
}

// The drawing of `name` for a square of `side` pixels: the grid-fitted one when there is one
// for exactly that side, else the scalable one.
QString drawingFor(const char *name, int side)
{
    const QString base = QStringLiteral(":/pictures/") + QLatin1String(name);
    if (std::find(std::begin(variantSizes), std::end(variantSizes), side) != std::end(variantSizes)) {
        const QString variant = base + QLatin1Char('-') + QString::number(side) + QStringLiteral(".svg");
        if (QFile::exists(variant))
            return variant;
    }
    return base + QStringLiteral(".svg");
}

void renderDrawing(QPainter &painter, const char *name, QPoint origin, int side)
{
    QSvgRenderer(drawingFor(name, side)).render(&painter, QRectF(origin, QSizeF(side, side)));
}

// Renders the layers into a square of `side` pixels. A side just above a grid-fitted size is
// that size centred on whole pixels (24 is the 22-pixel picture with a pixel of margin), so
// face and badge stay on their grid.
QImage renderLayers(const QList<Layer> &layers, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int grid = gridFor(side);
    const QPoint origin((side - grid) / 2, (side - grid) / 2);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const Layer &layer : layers) {
        if (layer.place == Place::Whole) {
            renderDrawing(painter, layer.name, origin, grid);
            continue;
        }
        // The badge is drawn on its own first; its outline, widened by the gap, is then
        // cleared from the picture below, so the badge stands apart from the face.
        const int badgeSide = static_cast<int>(std::lround(grid * 9.0 / 16.0));
        const QPoint corner = origin + QPoint(grid - badgeSide, grid - badgeSide);
        QImage badge(side, side, QImage::Format_ARGB32_Premultiplied);
        badge.fill(Qt::transparent);
        {
            QPainter badgePainter(&badge);
            badgePainter.setRenderHint(QPainter::Antialiasing);
            renderDrawing(badgePainter, layer.name, corner, badgeSide);
        }
        const int gap = std::max(1, grid / 16); // pixels
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        for (int dy = -gap; dy <= gap; ++dy) {
            for (int dx = -gap; dx <= gap; ++dx) {
                if (dx * dx + dy * dy <= gap * gap + 1)
                    painter.drawImage(QPoint(dx, dy), badge);
            }
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(QPoint(0, 0), badge);
    }
    return image;
}

// The icon engine of every picture: renders its layers at exactly the pixel size asked for.
class PictureEngine : public QIconEngine
{
public:
    explicit PictureEngine(QList<Layer> layers) : mLayers(std::move(layers)) {}

    QIconEngine *clone() const override { return new PictureEngine(mLayers); }
    QString key() const override { return QStringLiteral("BrindlecotPicture"); }
    bool isNull() override { return false; }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return { QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48),
                 QSize(64, 64), QSize(128, 128), QSize(256, 256) };
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        if (side <= 0)
            return QPixmap();
        QString cacheKey = QStringLiteral("brindlecot-picture");
        for (const Layer &layer : mLayers)
            cacheKey += QLatin1Char('/') + QLatin1String(layer.name);
        cacheKey += QStringLiteral("/%1/%2").arg(side).arg(int(mode == QIcon::Disabled));
        QPixmap pixmap;
        if (QPixmapCache::find(cacheKey, &pixmap))
            return pixmap;
        pixmap = QPixmap::fromImage(renderLayers(mLayers, side));
        // Only a disabled picture is drawn differently: the style's tint of a selected
        // one would melt a status disc into the selection's own colour.
        if (mode == QIcon::Disabled) {
            if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance())) {
                QStyleOption option;
                option.palette = QApplication::palette();
                pixmap = application->style()->generatedIconPixmap(mode, pixmap, &option);
            }
        }
        QPixmapCache::insert(cacheKey, pixmap);
        return pixmap;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const int side = std::min(rect.width(), rect.height());
        QPixmap drawn = pixmap(QSize(side, side) * ratio, mode, state);
        drawn.setDevicePixelRatio(ratio);
        // Centred on whole device pixels: at a ratio such as 1.5 half a logical pixel falls
        // between two, and the picture would be smeared over both.
        const auto onDevicePixels = [ratio](qreal logical) { return std::round(logical * ratio) / ratio; };
        const QPointF origin(onDevicePixels(rect.x() + (rect.width() - side) / 2.0),
                             onDevicePixels(rect.y() + (rect.height() - side) / 2.0));
        painter->drawPixmap(origin, drawn);
    }

private:
    QList<Layer> mLayers;
};

QIcon picture(QList<Layer> layers)
{
    return QIcon(new PictureEngine(std::move(layers)));
}

} // namespace

namespace Pictures {

QIcon trayPicture(int index)
{
    static const char *const badges[] = {
        "badge-synchronized", "badge-warning", "badge-error", "badge-paused", "badge-searching",
    };
    if (index < 1 || index > 12)
        index = 12;
    const char *face = index <= 6 ? "face-plain" : "face-grey";
    const int n = (index - 1) % 6; // 0..5
    if (n == 5)
        return picture({ { face, Place::Whole } });
    return picture({ { face, Place::Whole }, { badges[n], Place::Badge } });
}

QIcon clockFace()
{
    return picture({ { "face-grey", Place::Whole } });
}

QIcon listStatus(int image)
{
    switch (image) {
    case 2:
        return picture({ { "face-grey", Place::Whole }, { "tick", Place::Badge } });
    case 3:
        return picture({ { "badge-error", Place::Whole } });
    default:
        return picture({ { "badge-searching", Place::Whole } });
    }
}

QIcon buttonPicture(Button which)
{
    switch (which) {
    case Button::New:
        return clockFace();
    case Button::Edit:
        return picture({ { "edit", Place::Whole } });
    case Button::Synchronize:
        return picture({ { "synchronize", Place::Whole } });
    case Button::Save:
        return picture({ { "tick", Place::Whole } });
    case Button::Delete:
    case Button::Cancel:
        break;
    }
    return picture({ { "cross", Place::Whole } });
}

QPixmap logo(qreal devicePixelRatio)
{
    const QSize logical(284, 89); // pixels
    QPixmap pixmap(logical * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const int faceSide = 69; // pixels
    const QRectF faceRect(10, (logical.height() - faceSide) / 2.0, faceSide, faceSide);
    QSvgRenderer(QStringLiteral(":/pictures/face-grey.svg")).render(&painter, faceRect);

    const QRectF textRect(faceRect.right() + 14, 0, logical.width() - faceRect.right() - 24, logical.height());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(36);
    const QString name = QStringLiteral("Brindlecot");
    const qreal width = QFontMetricsF(font).horizontalAdvance(name);
    if (width > textRect.width())
        font.setPixelSize(static_cast<int>(36 * textRect.width() / width));
    painter.setFont(font);
    painter.setPen(QColor(0x2e, 0x34, 0x36));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, name);
    return pixmap;
}

} // namespace Pictures
