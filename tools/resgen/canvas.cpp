#include "canvas.h"

#include <algorithm>
#include <cmath>

Rgb mix(Rgb under, Rgb over, int coverage)
{
    auto one = [&](int u, int o) { return uint8_t((u * (255 - coverage) + o * coverage + 127) / 255); };
    return {one(under.r, over.r), one(under.g, over.g), one(under.b, over.b)};
}

Rgb lerp(Rgb from, Rgb to, int step, int steps)
{
    if (steps <= 0)
        return from;
    auto one = [&](int a, int b) { return uint8_t(a + ((b - a) * step + steps / 2) / steps); };
    return {one(from.r, to.r), one(from.g, to.g), one(from.b, to.b)};
}

Canvas::Canvas(int w, int h, Rgb fill, uint8_t alpha) : width(w), height(h), rgba(size_t(w) * h * 4)
{
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = fill.r;
        rgba[i + 1] = fill.g;
        rgba[i + 2] = fill.b;
        rgba[i + 3] = alpha;
    }
}

Rgb Canvas::at(int x, int y) const
{
    const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
    return {p[0], p[1], p[2]};
}

void Canvas::set(int x, int y, Rgb c, uint8_t alpha)
{
    if (!inside(x, y))
        return;
    uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = alpha;
}

void Canvas::blend(int x, int y, Rgb c, int coverage)
{
    if (!inside(x, y) || coverage <= 0)
        return;
    coverage = std::min(coverage, 255);
    uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
    if (p[3] == 0) {
        // Nothing under it yet: the pixel takes the colour at that opacity.
        set(x, y, c, uint8_t(coverage));
        return;
    }
    Rgb under{p[0], p[1], p[2]};
    Rgb m = mix(under, c, coverage);
    p[0] = m.r;
    p[1] = m.g;
    p[2] = m.b;
    p[3] = uint8_t(std::min(255, p[3] + coverage * (255 - p[3]) / 255));
}

void fillRect(Canvas& c, int x0, int y0, int x1, int y1, Rgb colour)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            c.set(x, y, colour);
}

void frameRect(Canvas& c, int x0, int y0, int x1, int y1, Rgb colour)
{
    hline(c, x0, x1, y0, colour);
    hline(c, x0, x1, y1, colour);
    vline(c, x0, y0, y1, colour);
    vline(c, x1, y0, y1, colour);
}

void hline(Canvas& c, int x0, int x1, int y, Rgb colour)
{
    for (int x = x0; x <= x1; ++x)
        c.set(x, y, colour);
}

void vline(Canvas& c, int x, int y0, int y1, Rgb colour)
{
    for (int y = y0; y <= y1; ++y)
        c.set(x, y, colour);
}

void verticalGradient(Canvas& c, int x0, int y0, int x1, int y1, Rgb top, Rgb bottom)
{
    for (int y = y0; y <= y1; ++y)
        hline(c, x0, x1, y, lerp(top, bottom, y - y0, y1 - y0));
}

void horizontalGradient(Canvas& c, int x0, int y0, int x1, int y1, Rgb left, Rgb right)
{
    for (int x = x0; x <= x1; ++x)
        vline(c, x, y0, y1, lerp(left, right, x - x0, x1 - x0));
}

void roundedBox(Canvas& c, int x0, int y0, int x1, int y1, Rgb border, Rgb fillTop, Rgb fillBottom)
{
    verticalGradient(c, x0 + 1, y0 + 1, x1 - 1, y1 - 1, fillTop, fillBottom);
    hline(c, x0 + 1, x1 - 1, y0, border);
    hline(c, x0 + 1, x1 - 1, y1, border);
    vline(c, x0, y0 + 1, y1 - 1, border);
    vline(c, x1, y0 + 1, y1 - 1, border);
    // Partly covered corner pixels soften the cut.
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}})
        if (c.inside(x, y))
            c.set(x, y, mix(c.at(x, y), border, 96));
}

namespace {

// Coverage of one pixel by a shape, from 16 sample points.
template <typename Inside>
int coverage(int x, int y, Inside inside)
{
    int hits = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx)
            hits += inside(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0) ? 1 : 0;
    return hits * 255 / 16;
}

} // namespace

void fillDisc(Canvas& c, double cx, double cy, double radius, Rgb colour)
{
    int x0 = int(std::floor(cx - radius)) - 1, x1 = int(std::ceil(cx + radius)) + 1;
    int y0 = int(std::floor(cy - radius)) - 1, y1 = int(std::ceil(cy + radius)) + 1;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            c.blend(x, y, colour, coverage(x, y, [&](double px, double py) {
                        return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= radius * radius;
                    }));
}

void drawLine(Canvas& c, double x0, double y0, double x1, double y1, double thickness, Rgb colour)
{
    double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    double half = thickness / 2;
    int bx0 = int(std::floor(std::min(x0, x1) - half)) - 1, bx1 = int(std::ceil(std::max(x0, x1) + half)) + 1;
    int by0 = int(std::floor(std::min(y0, y1) - half)) - 1, by1 = int(std::ceil(std::max(y0, y1) + half)) + 1;
    for (int y = by0; y <= by1; ++y)
        for (int x = bx0; x <= bx1; ++x)
            c.blend(x, y, colour, coverage(x, y, [&](double px, double py) {
                        double t = len2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0;
                        t = std::clamp(t, 0.0, 1.0);
                        double qx = x0 + t * dx - px, qy = y0 + t * dy - py;
                        return qx * qx + qy * qy <= half * half;
                    }));
}

void dropShadow(Canvas& c, int x0, int y0, int x1, int y1, int size, int strength)
{
    // Darkening falls off linearly with the distance outside the box,
    // shifted by a pixel so that the light comes from the top left.
    for (int y = y0 + 2; y <= y1 + size; ++y)
        for (int x = x0 + 2; x <= x1 + size; ++x) {
            if (x <= x1 && y <= y1)
                continue;
            int ox = std::max(0, x - x1), oy = std::max(0, y - y1);
            int d = std::max(ox, oy);
            int a = strength * (size + 1 - d) / (size + 1);
            if (x < x0 + size)
                a = a * (x - x0 - 1) / size;
            if (y < y0 + size)
                a = a * (y - y0 - 1) / size;
            if (a > 0)
                c.blend(x, y, Rgb{0, 0, 0}, a);
        }
}

void copyRegion(Canvas& to, const Canvas& from, int x0, int y0, int x1, int y1)
{
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (from.inside(x, y))
                to.set(x, y, from.at(x, y), from.alphaAt(x, y));
}
