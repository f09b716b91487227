#pragma once

#include <QPaintDevice>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtMath>

// Screen lengths are laid out in twips (1/1440 inch): 15 twips to a pixel at 96 DPI,
// so a layout keeps its proportions on screens of any density.
namespace Twips {

inline int toPixelsX(const QPaintDevice &device, double twips)
{
    return qRound(twips * device.logicalDpiX() / 1440.0);
}

inline int toPixelsY(const QPaintDevice &device, double twips)
{
    return qRound(twips * device.logicalDpiY() / 1440.0);
}

inline QSize toPixels(const QPaintDevice &device, double width, double height)
{
    return {toPixelsX(device, width), toPixelsY(device, height)};
}

inline QRect toPixels(const QPaintDevice &device, double x, double y, double width, double height)
{
    return {QPoint(toPixelsX(device, x), toPixelsY(device, y)), toPixels(device, width, height)};
}

inline double fromPixelsX(const QPaintDevice &device, int pixels)
{
    return pixels * 1440.0 / device.logicalDpiX();
}

inline double fromPixelsY(const QPaintDevice &device, int pixels)
{
    return pixels * 1440.0 / device.logicalDpiY();
}

} // namespace Twips
