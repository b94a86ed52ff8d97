#include "platform/Pictures.h"
#include <QApplication>
#include <QPainter>
#include <QImage>
#include <QFont>
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<QPair<QString, QIcon>> icons;
    bool tray = argc > 2 && QString(argv[2]) == "tray";
    if (tray) {
        for (int i = 1; i <= 12; ++i) icons.append({QString("tray %1").arg(i), Pictures::trayPicture(i)});
    } else {
        icons.append({"face", Pictures::clockFace()});
        for (int i = 1; i <= 3; ++i) icons.append({QString("list %1").arg(i), Pictures::listStatus(i)});
        using B = Pictures::Button;
        icons.append({"New", Pictures::buttonPicture(B::New)});
        icons.append({"Edit", Pictures::buttonPicture(B::Edit)});
        icons.append({"Delete", Pictures::buttonPicture(B::Delete)});
        icons.append({"Sync", Pictures::buttonPicture(B::Synchronize)});
        icons.append({"Save", Pictures::buttonPicture(B::Save)});
        icons.append({"Cancel", Pictures::buttonPicture(B::Cancel)});
        icons.append({"Edit dis", QIcon(Pictures::buttonPicture(B::Edit).pixmap(16, QIcon::Disabled))});
    }
    struct Col { int size; qreal dpr; };
    QList<Col> cols = {{16,1},{22,1},{24,1},{32,1},{48,1},{16,2},{24,2}};
    if (argc > 4 && QString(argv[4]) == "small")
        cols = {{16,1},{22,1},{24,1}};
    const int scale = argc > 3 ? QString(argv[3]).toInt() : 3;
    const int rowH = cols.size() > 3 ? 52 : 28, x0 = 40;
    int w = x0; for (auto c : cols) w += int(c.size*c.dpr) + 6;
    int half = w;
    QImage img(2*half, rowH * icons.size() + (tray ? 0 : 100), QImage::Format_ARGB32);
    img.fill(QColor("#eff0f1"));
    QPainter p(&img);
    p.fillRect(half, 0, half, img.height(), QColor("#31363b"));
    QFont f("DejaVu Sans"); f.setPixelSize(8); p.setFont(f);
    for (int r = 0; r < icons.size(); ++r) {
        for (int side = 0; side < 2; ++side) {
            int x = side*half + x0;
            p.setPen(side ? Qt::white : Qt::black);
            p.drawText(side*half + 1, r*rowH + 20, icons[r].first);
            for (auto c : cols) {
                QPixmap pm = icons[r].second.pixmap(QSize(c.size,c.size), c.dpr);
                QImage im = pm.toImage(); // physical pixels
                im.setDevicePixelRatio(1.0);
                p.drawImage(x, r*rowH + 2, im);
                x += int(c.size*c.dpr) + 6;
            }
        }
    }
    if (!tray) {
        QPixmap l1 = Pictures::logo(1.0);
        p.drawImage(2, rowH*icons.size() + 4, l1.toImage());
    }
    p.end();
    img = img.scaled(img.size()*scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    img.save(argv[1]);
    QPixmap l2 = Pictures::logo(2.0);
    l2.toImage().save(QString(argv[1]) + ".logo2x.png");
    return 0;
}
