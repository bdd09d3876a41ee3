// Drawing surface of the artwork tools: 8-bit R, G, B and opacity per pixel,
// rows top-down. Opacity here is the usual alpha (255 opaque); the conversion
// to the player's transparency byte happens only when a picture is packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Rgb {
    uint8_t r, g, b;
};

inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool operator!=(Rgb a, Rgb b) { return !(a == b); }

Rgb mix(Rgb under, Rgb over, int coverage); // coverage 0..255 of `over`
Rgb lerp(Rgb from, Rgb to, int step, int steps);

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; // R, G, B, A per pixel

    Canvas() = default;
    Canvas(int w, int h, Rgb fill, uint8_t alpha = 255);

    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    Rgb at(int x, int y) const;
    uint8_t alphaAt(int x, int y) const { return rgba[(size_t(y) * width + x) * 4 + 3]; }
    void set(int x, int y, Rgb c, uint8_t alpha = 255);
    // Lays `c` over the pixel with the given coverage; the pixel stays opaque
    // if it was. Used for anti-aliased text and shapes on opaque surfaces.
    void blend(int x, int y, Rgb c, int coverage);
};

// Rectangles are given by their inclusive corners, as the coordinates the
// player uses are inclusive pixel columns and rows.
void fillRect(Canvas& c, int x0, int y0, int x1, int y1, Rgb colour);
void frameRect(Canvas& c, int x0, int y0, int x1, int y1, Rgb colour);
void hline(Canvas& c, int x0, int x1, int y, Rgb colour);
void vline(Canvas& c, int x, int y0, int y1, Rgb colour);
void verticalGradient(Canvas& c, int x0, int y0, int x1, int y1, Rgb top, Rgb bottom);
void horizontalGradient(Canvas& c, int x0, int y0, int x1, int y1, Rgb left, Rgb right);
// A rectangle with its corners cut by one pixel, filled or outlined: the
// look of buttons and edit fields.
void roundedBox(Canvas& c, int x0, int y0, int x1, int y1, Rgb border, Rgb fillTop, Rgb fillBottom);
// Anti-aliased filled disc and line (4 x 4 supersampling).
void fillDisc(Canvas& c, double cx, double cy, double radius, Rgb colour);
void drawLine(Canvas& c, double x0, double y0, double x1, double y1, double thickness, Rgb colour);
// Soft drop shadow below and right of a box, pre-blended onto what lies
// there, so the result stays fully opaque.
void dropShadow(Canvas& c, int x0, int y0, int x1, int y1, int size, int strength);
void copyRegion(Canvas& to, const Canvas& from, int x0, int y0, int x1, int y1);
