#include "platform/Pictures.h"

#include <QPainter>

// Stand-ins until the real artwork lands: a plain clock face at every request.
namespace {

QIcon face(const QColor &badge = QColor())
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(2, 2, 28, 28));
    painter.drawLine(QPointF(16, 16), QPointF(16, 7));
    painter.drawLine(QPointF(16, 16), QPointF(23, 16));
    if (badge.isValid()) {
        painter.setBrush(badge);
        painter.drawEllipse(QRectF(17, 17, 14, 14));
    }
    return QIcon(pixmap);
}

} // namespace

namespace Pictures {

QIcon trayPicture(int index)
{
    static const QColor badges[] = { Qt::green, Qt::yellow, Qt::red, Qt::darkRed, Qt::darkGreen };
    const int n = (index - 1) % 6;
    if (index < 1 || index > 12 || n == 5)
        return face();
    return face(badges[n]);
}

QIcon clockFace()
{
    return face();
}

QIcon listStatus(int image)
{
    return face(image == 2 ? QColor(Qt::green) : image == 3 ? QColor(Qt::red) : QColor(Qt::darkGreen));
}

QIcon buttonPicture(Button)
{
    return face();
}

QPixmap logo(qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(284, 89) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::white);
    return pixmap;
}

} // namespace Pictures
