#include "platform/Pictures.h"
#include "TestMain.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <functional>

namespace {

enum class Hue { None, Green, Yellow, Red };

bool hasHue(QRgb pixel, Hue hue)
{
    if (qAlpha(pixel) < 200)
        return false;
    const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
    switch (hue) {
    case Hue::Green:
        return g > r + 60 && g > b + 30;
    case Hue::Yellow:
        return r > 200 && g > 160 && b < 100;
    case Hue::Red:
        return r > 160 && g < 90 && b < 90;
    case Hue::None:
        break;
    }
    return false;
}

// Pixels of the given hue in the lower-right quarter of the picture.
int lowerRightCount(const QImage &image, Hue hue)
{
    int count = 0;
    for (int y = image.height() / 2; y < image.height(); ++y)
        for (int x = image.width() / 2; x < image.width(); ++x)
            count += hasHue(image.pixel(x, y), hue) ? 1 : 0;
    return count;
}

QImage render(const QIcon &icon, int side, qreal ratio = 1.0)
{
    return icon.pixmap(QSize(side, side), ratio).toImage().convertToFormat(QImage::Format_ARGB32);
}

// What a pixel shows to an eye that sees no colour: nothing, a dark or a light mark.
enum class Tone { Clear, Dark, Light };

Tone toneOf(QRgb pixel)
{
    if (qAlpha(pixel) < 128)
        return Tone::Clear;
    return qGray(pixel) < 150 ? Tone::Dark : Tone::Light;
}

// Pixels of the lower-right quarter, where the badge is, whose tone differs between the
// two pictures: how far the badges differ in shape, colour aside.
int toneDifference(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = a.height() / 2; y < a.height(); ++y)
        for (int x = a.width() / 2; x < a.width(); ++x)
            count += toneOf(a.pixel(x, y)) != toneOf(b.pixel(x, y)) ? 1 : 0;
    return count;
}

// The smallest rectangle holding every pixel that shows something.
QRect drawnBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 64)
                box |= QRect(x, y, 1, 1);
    return box;
}

// Pixels that show something on one edge of the box: a whole round face touches each edge
// of its square over a short arc only, a cut one along a chord.
int edgeCount(const QImage &image, const QRect &box, Qt::Edge edge)
{
    int count = 0;
    const bool across = edge == Qt::TopEdge || edge == Qt::BottomEdge;
    const int fixed = edge == Qt::TopEdge ? box.top() : edge == Qt::BottomEdge ? box.bottom()
                      : edge == Qt::LeftEdge ? box.left() : box.right();
    const int from = across ? box.left() : box.top();
    const int to = across ? box.right() : box.bottom();
    for (int i = from; i <= to; ++i)
        count += qAlpha(across ? image.pixel(i, fixed) : image.pixel(fixed, i)) > 64 ? 1 : 0;
    return count;
}

} // namespace

Q_DECLARE_METATYPE(Hue)
Q_DECLARE_METATYPE(std::function<QIcon()>)

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    // Each tray state shows its badge's colour in the corner, and the bare faces show none.
    void trayBadgeInTheCorner_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("side");
        QTest::addColumn<Hue>("badge");
        const Hue badges[] = { Hue::Green, Hue::Yellow, Hue::Red, Hue::Red, Hue::Green, Hue::None };
        for (const int side : { 16, 32 }) {
            for (int index = 1; index <= 12; ++index) {
                QTest::addRow("picture %d at %d px", index, side) << index << side << badges[(index - 1) % 6];
            }
        }
    }

    void trayBadgeInTheCorner()
    {
        QFETCH(int, index);
        QFETCH(int, side);
        QFETCH(Hue, badge);
        const QImage image = render(Pictures::trayPicture(index), side);
        QCOMPARE(image.size(), QSize(side, side));
        if (badge == Hue::None) {
            for (const Hue hue : { Hue::Green, Hue::Yellow, Hue::Red })
                QCOMPARE(lowerRightCount(image, hue), 0);
        } else {
            QVERIFY2(lowerRightCount(image, badge) >= side / 4, "badge colour missing in the corner");
        }
    }

    // Each state's badge differs from every other one in its shape, not only in its colour:
    // told apart in grey, by their dark and light marks and their outline.
    void badgesDifferInShape_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("side");
        const char *const names[] = { "synchronized", "too far off", "error", "paused", "looking" };
        for (const int side : { 16, 22, 32, 64 }) {
            for (const int set : { 0, 6 }) {
                for (int first = 1; first <= 5; ++first) {
                    for (int second = first + 1; second <= 5; ++second)
                        QTest::addRow("%s, %s, %s set at %d px", names[first - 1], names[second - 1], set == 0 ? "plain" : "grey", side)
                            << set + first << set + second << side;
                }
            }
        }
    }

    void badgesDifferInShape()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(int, side);
        const int differing = toneDifference(render(Pictures::trayPicture(first), side), render(Pictures::trayPicture(second), side));
        QVERIFY2(differing >= side * side / 4 / 8, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
    }

    // At a device pixel ratio of 2 every picture is rendered at twice the pixels, not upscaled.
    void sharpAtDoubleRatio_data()
    {
        QTest::addColumn<std::function<QIcon()>>("picture");
        QTest::addColumn<int>("side");
        using Pictures::Button;
        const QList<QPair<const char *, std::function<QIcon()>>> pictures = {
            { "tray 1", [] { return Pictures::trayPicture(1); } },
            { "tray 8", [] { return Pictures::trayPicture(8); } },
            { "tray 12", [] { return Pictures::trayPicture(12); } },
            { "clock face", [] { return Pictures::clockFace(); } },
            { "list 1", [] { return Pictures::listStatus(1); } },
            { "list 2", [] { return Pictures::listStatus(2); } },
            { "list 3", [] { return Pictures::listStatus(3); } },
            { "New", [] { return Pictures::buttonPicture(Button::New); } },
            { "Edit", [] { return Pictures::buttonPicture(Button::Edit); } },
            { "Delete", [] { return Pictures::buttonPicture(Button::Delete); } },
            { "Synchronize", [] { return Pictures::buttonPicture(Button::Synchronize); } },
            { "Save", [] { return Pictures::buttonPicture(Button::Save); } },
            { "Cancel", [] { return Pictures::buttonPicture(Button::Cancel); } },
        };
        for (const auto &[name, picture] : pictures) {
            for (const int side : { 16, 22 })
                QTest::addRow("%s at %d px", name, side) << picture << side;
        }
    }

    void sharpAtDoubleRatio()
    {
        QFETCH(std::function<QIcon()>, picture);
        QFETCH(int, side);
        const QPixmap pixmap = picture().pixmap(QSize(side, side), 2.0);
        QCOMPARE(pixmap.size(), QSize(side, side) * 2);
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        QVERIFY2(opaque >= image.width() * image.height() / 8, "picture is (nearly) empty");
    }

    // On a screen at twice the pixels (QT_SCALE_FACTOR=2), a tray 32 pixels high asks for 16
    // logical pixels: the picture is drawn for the device pixels of the area it is given,
    // whole, filling its square and centred in it, never cut at an edge. Both ways a tray
    // asks: for a pixmap, and to paint into its window (trayer gives 44 x 30 device pixels).
    void wholeInTheAreaAsked_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QSize>("area"); // logical pixels
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("painted"); // painted into the area rather than taken as a pixmap
        QTest::addColumn<QRect>("square"); // where the face lies, device pixels
        for (const int index : { 5, 6, 12 }) {
            QTest::addRow("picture %d, pixmap of 32 px at ratio 2", index) << index << QSize(32, 32) << 2.0 << false << QRect(0, 0, 64, 64);
            QTest::addRow("picture %d, painted in 16 px at ratio 2", index) << index << QSize(16, 16) << 2.0 << true << QRect(0, 0, 32, 32);
            QTest::addRow("picture %d, painted in 22 x 15 px at ratio 2", index) << index << QSize(22, 15) << 2.0 << true << QRect(7, 0, 30, 30);
            QTest::addRow("picture %d, painted in 16 px at ratio 1.5", index) << index << QSize(16, 16) << 1.5 << true << QRect(0, 0, 24, 24);
            QTest::addRow("picture %d, painted in 22 x 16 px at ratio 1.5", index) << index << QSize(22, 16) << 1.5 << true << QRect(6, 1, 22, 22);
            QTest::addRow("picture %d, pixmap of 32 px at ratio 1", index) << index << QSize(32, 32) << 1.0 << false << QRect(0, 0, 32, 32);
        }
    }

    void wholeInTheAreaAsked()
    {
        QFETCH(int, index);
        QFETCH(QSize, area);
        QFETCH(qreal, ratio);
        QFETCH(bool, painted);
        QFETCH(QRect, square);
        const QIcon icon = Pictures::trayPicture(index);
        QImage image;
        if (painted) {
            image = QImage(area * ratio, QImage::Format_ARGB32);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            icon.paint(&painter, QRect(QPoint(0, 0), area));
        } else {
            const QPixmap pixmap = icon.pixmap(area, ratio);
            QCOMPARE(pixmap.size(), area * ratio);
            QCOMPARE(pixmap.devicePixelRatio(), ratio);
            image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        }
        const QRect box = drawnBox(image);
        // Filling the square: the drawing's outline keeps within a pixel of each side.
        QVERIFY2(qAbs(box.left() - square.left()) <= 1 && qAbs(box.top() - square.top()) <= 1
                     && qAbs(box.right() - square.right()) <= 1 && qAbs(box.bottom() - square.bottom()) <= 1,
                 qPrintable(QStringLiteral("drawn in (%1,%2 %3x%4)").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
        // Whole: the face's rim, and the badge's, touch each edge over a short arc, and a bare
        // face touches opposite edges alike.
        for (const Qt::Edge edge : { Qt::TopEdge, Qt::LeftEdge, Qt::BottomEdge, Qt::RightEdge })
            QVERIFY2(edgeCount(image, box, edge) <= square.width() / 2,
                     qPrintable(QStringLiteral("cut along %1 pixels").arg(edgeCount(image, box, edge))));
        if (index % 6 == 0) {
            QVERIFY(qAbs(edgeCount(image, box, Qt::TopEdge) - edgeCount(image, box, Qt::BottomEdge)) <= 2);
            QVERIFY(qAbs(edgeCount(image, box, Qt::LeftEdge) - edgeCount(image, box, Qt::RightEdge)) <= 2);
        }
    }

    void logoAtDoubleRatio()
    {
        const QPixmap logo = Pictures::logo(2.0);
        QCOMPARE(logo.size(), QSize(568, 178));
        QCOMPARE(logo.deviceIndependentSize(), QSizeF(284, 89));
    }

    void outOfRangeGivesTheBareGreyFace_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -3;
        QTest::newRow("thirteen") << 13;
    }

    void outOfRangeGivesTheBareGreyFace()
    {
        QFETCH(int, index);
        for (const int side : { 16, 32 })
            QCOMPARE(render(Pictures::trayPicture(index), side), render(Pictures::trayPicture(12), side));
    }
};

BRINDLECOT_TEST_MAIN(TestPictures)
#include "tst_pictures.moc"
