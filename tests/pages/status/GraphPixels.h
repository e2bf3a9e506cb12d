#pragma once

// Reading the cell graphs back from their pixels: a rendering, the colours
// that matter and where the graph puts its strings and cells.
#include "CCellsGraph.h"

#include <QFontMetrics>
#include <QImage>
#include <QRect>
#include <QWidget>

// The widget drawn on magenta, so unpainted pixels stand out.
inline QImage renderOf(QWidget& w)
{
    QImage img(w.size(), QImage::Format_ARGB32);
    img.fill(Qt::magenta);
    w.render(&img);
    return img;
}
inline QImage renderOf(QWidget* w) { return renderOf(*w); }

inline bool isBackground(QRgb c) { return c == qRgb(0x69, 0x69, 0x69); }
inline bool isBlack(QRgb c) { return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40; }
inline bool isTeal(QRgb c) { return qRed(c) < 40 && qGreen(c) > 110 && qBlue(c) > 110; }
inline bool isMarkRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

// How many pixels of the area (clipped to the image) match.
inline int countIn(const QImage& img, QRect area, bool (*pred)(QRgb))
{
    area &= img.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += pred(img.pixel(x, y));
    return n;
}

// Where the graph puts its strings: the scale takes the width of "MMMMM",
// the rest is shared by the strings with a gap between them.
struct Geometry
{
    int h, wM, W, H, n, gap;
    int avail() const { return W - wM - (n - 1) * gap; }
    int left(int s) const { return wM + (s * avail()) / n + s * gap; }
    int right(int s) const { return wM + ((s + 1) * avail()) / n + s * gap; }
    double cw(int s, int cells) const { return double(right(s) - left(s) + 1) / cells; }
    int cellCentre(int s, int j, int cells) const { return int(left(s) + (j + 0.5) * cw(s, cells)); }
};

inline Geometry geometryOf(const CCellsGraph& g, int strings)
{
    const QFontMetrics fm = g.fontMetrics();
    return {fm.height(), fm.horizontalAdvance(QStringLiteral("MMMMM")), g.width(), g.height(), strings, g.stringGap};
}
