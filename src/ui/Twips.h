#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>

class QWidget;

// Converts the windows' design lengths, in twips (1/1440 inch), to pixels of the widget's
// screen: 15 twips a pixel at 96 dots per inch, in proportion at any other logical density.
class Twips
{
public:
    static constexpr double PerInch = 1440; // twips

    explicit Twips(const QWidget &widget);
    Twips(double dpiX, double dpiY) : mX(dpiX / PerInch), mY(dpiY / PerInch) { }

    int x(double twips) const;
    int y(double twips) const;
    double fromX(int pixels) const { return pixels / mX; }
    double fromY(int pixels) const { return pixels / mY; }

    // Edges are rounded, so neighbouring rectangles keep their gaps.
    QRect toPixels(const QRectF &twips) const;
    QSize toPixels(const QSizeF &twips) const;

private:
    double mX; // pixels per twip across
    double mY; // pixels per twip down
};
