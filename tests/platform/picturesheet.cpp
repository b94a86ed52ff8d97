// Draws the program's pictures into one PNG for looking at them, enlarged without smoothing so
// that single pixels of the small sizes show. Each picture at 16, 22, 24, 32 and 48 pixels and
// at 16 and 24 on a screen of device pixel ratio 2, on a light and on a dark background.
//   picturesheet <out.png> [tray|other] [enlargement]
// "tray" draws the twelve tray pictures; "other" (the default) the clock face, the list status
// images, the button pictures, a disabled button picture and the About logo.
#include "platform/Pictures.h"

#include <QApplication>
#include <QFont>
#include <QImage>
#include <QPainter>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        qWarning("usage: picturesheet <out.png> [tray|other] [enlargement]");
        return 2;
    }
    const bool tray = arguments.value(2) == QLatin1String("tray");
    const int enlargement = std::max(1, arguments.value(3, QStringLiteral("3")).toInt());

    QList<std::pair<QString, QIcon>> pictures;
    QIcon disabled;
    if (tray) {
        for (int index = 1; index <= 12; ++index)
            pictures.append({ QStringLiteral("tray %1").arg(index), Pictures::trayPicture(index) });
    } else {
        using Pictures::Button;
        pictures.append({ QStringLiteral("face"), Pictures::clockFace() });
        for (int image = 1; image <= 3; ++image)
            pictures.append({ QStringLiteral("list %1").arg(image), Pictures::listStatus(image) });
        pictures.append({ QStringLiteral("New"), Pictures::buttonPicture(Button::New) });
        pictures.append({ QStringLiteral("Edit"), Pictures::buttonPicture(Button::Edit) });
        pictures.append({ QStringLiteral("Delete"), Pictures::buttonPicture(Button::Delete) });
        pictures.append({ QStringLiteral("Synchr."), Pictures::buttonPicture(Button::Synchronize) });
        pictures.append({ QStringLiteral("Save"), Pictures::buttonPicture(Button::Save) });
        pictures.append({ QStringLiteral("Cancel"), Pictures::buttonPicture(Button::Cancel) });
        pictures.append({ QStringLiteral("disabled"), Pictures::buttonPicture(Button::Edit) });
    }

    struct Column { int side; qreal ratio; };
    const Column columns[] = { { 16, 1 }, { 22, 1 }, { 24, 1 }, { 32, 1 }, { 48, 1 }, { 16, 2 }, { 24, 2 } };
    const int rowHeight = 52, labelWidth = 40, spacing = 6; // pixels
    int half = labelWidth;
    for (const Column &column : columns)
        half += int(column.side * column.ratio) + spacing;
    const int logoHeight = tray ? 0 : 100; // pixels
    QImage sheet(2 * half, rowHeight * int(pictures.size()) + logoHeight, QImage::Format_ARGB32);
    sheet.fill(QColor(0xef, 0xf0, 0xf1));
    QPainter painter(&sheet);
    painter.fillRect(half, 0, half, sheet.height(), QColor(0x31, 0x36, 0x3b));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(8);
    painter.setFont(font);
    for (int row = 0; row < pictures.size(); ++row) {
        const auto &[label, icon] = pictures.at(row);
        const QIcon::Mode mode = label == QLatin1String("disabled") ? QIcon::Disabled : QIcon::Normal;
        for (int background = 0; background < 2; ++background) {
            painter.setPen(background ? Qt::white : Qt::black);
            painter.drawText(background * half + 1, row * rowHeight + 20, label);
            int x = background * half + labelWidth;
            for (const Column &column : columns) {
                // Drawn in device pixels, one to one, as a screen of that ratio shows it.
                QImage image = icon.pixmap(QSize(column.side, column.side), column.ratio, mode).toImage();
                image.setDevicePixelRatio(1.0);
                painter.drawImage(x, row * rowHeight + 2, image);
                x += int(column.side * column.ratio) + spacing;
            }
        }
    }
    if (!tray)
        painter.drawPixmap(2, rowHeight * int(pictures.size()) + 4, Pictures::logo(1.0));
    painter.end();
    sheet = sheet.scaled(sheet.size() * enlargement, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return sheet.save(arguments.at(1)) ? 0 : 1;
}
