#include "ui/Twips.h"

#include <QWidget>

#include <cmath>

Twips::Twips(const QWidget &widget) : Twips(widget.logicalDpiX(), widget.logicalDpiY()) { }

int Twips::x(double twips) const
{
    return int(std::lround(twips * mX));
}

int Twips::y(double twips) const
{
    return int(std::lround(twips * mY));
}

QRect Twips::toPixels(const QRectF &twips) const
{
    const int left = x(twips.left());
    const int top = y(twips.top());
    return QRect(left, top, x(twips.right()) - left, y(twips.bottom()) - top);
}

QSize Twips::toPixels(const QSizeF &twips) const
{
    return QSize(x(twips.width()), y(twips.height()));
}
