#include "sprites.h"

#include "icons.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const char* const arrowShape[19] = {
    "B...........",
    "BB..........",
    "BWB.........",
    "BWWB........",
    "BWWWB.......",
    "BWWWWB......",
    "BWWWWWB.....",
    "BWWWWWWB....",
    "BWWWWWWWB...",
    "BWWWWWWWWB..",
    "BWWWWWWWWWB.",
    "BWWWWWWBBBBB",
    "BWWWBWWB....",
    "BWWBBWWB....",
    "BWB..BWWB...",
    "BB...BWWB...",
    "B.....BWWB..",
    "......BWWB..",
    ".......BB...",
};

Image makePointer()
{
    constexpr int w = 18, h = 24;
    // Shadow: the arrow's silhouette moved 2 pixels right and down, softened
    // with a 3 x 3 box filter, at most about 45 % opaque.
    float mask[h][w] = {};
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 12; ++x)
            if (arrowShape[y][x] != '.' && y + 2 < h && x + 2 < w)
                mask[y + 2][x + 2] = 1;
    Canvas c(w, h, Rgb{0, 0, 0}, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int sx = x + dx, sy = y + dy;
                    if (sx >= 0 && sy >= 0 && sx < w && sy < h)
                        sum += mask[sy][sx];
                }
            int alpha = int(std::lround(sum / 9 * 115));
            c.set(x, y, Rgb{0, 0, 0}, uint8_t(alpha));
        }
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 12; ++x) {
            char k = arrowShape[y][x];
            if (k == 'B')
                c.set(x, y, Rgb{0, 0, 0});
            else if (k == 'W')
                c.set(x, y, Rgb{255, 255, 255});
        }
    Image image;
    image.allocate(w, h, 32, false);
    for (int i = 0; i < w * h; ++i) {
        const uint8_t* s = &c.rgba[size_t(i) * 4];
        unsigned char* d = image.pixels + size_t(i) * 4;
        d[0] = uint8_t(255 - s[3]);
        // A fully transparent pixel carries no colour.
        d[1] = s[3] ? s[0] : 0;
        d[2] = s[3] ? s[1] : 0;
        d[3] = s[3] ? s[2] : 0;
    }
    return image;
}

namespace {

constexpr int spinnerSide = 15, spinnerFrames = 30;
constexpr int groundIndex = 254;
constexpr int inkLevels = 254; // entries 0..253: the dot colour, T = index
const uint8_t dotRed[3] = {212, 30, 36};

// Coverage (0..1) of pixel (x, y) by the four dots of a frame turned by
// `angle` radians, from 8 x 8 samples.
double dotCoverage(int x, int y, double angle)
{
    const double centre = spinnerSide / 2.0, orbit = 4.4, radius = 2.15;
    int hits = 0;
    for (int sy = 0; sy < 8; ++sy)
        for (int sx = 0; sx < 8; ++sx) {
            double px = x + (sx + 0.5) / 8, py = y + (sy + 0.5) / 8;
            for (int d = 0; d < 4; ++d) {
                double a = angle + d * M_PI / 2;
                double cx = centre + orbit * std::cos(a), cy = centre + orbit * std::sin(a);
                if ((px - cx) * (px - cx) + (py - cy) * (py - cy) <= radius * radius) {
                    ++hits;
                    break;
                }
            }
        }
    return hits / 64.0;
}

} // namespace

Image makeSpinner()
{
    Image image;
    image.allocate(spinnerSide, spinnerSide * spinnerFrames, 8, true);
    // Palette: entry i (0..253) is the dot red with transparency i, so the
    // index of a pixel is how little of it the dots cover; 254 is the fully
    // transparent ground; 255 is not used.
    for (int i = 0; i < 256; ++i) {
        unsigned char* e = image.palette + i * 4;
        e[0] = uint8_t(i < inkLevels ? i : 255);
        e[1] = dotRed[0];
        e[2] = dotRed[1];
        e[3] = dotRed[2];
    }
    for (int f = 0; f < spinnerFrames; ++f) {
        // 30 frames make a quarter turn: after it the four dots stand where
        // they started, so the strip loops without a jump.
        double angle = -M_PI / 4 + f * (M_PI / 2) / spinnerFrames;
        for (int y = 0; y < spinnerSide; ++y)
            for (int x = 0; x < spinnerSide; ++x) {
                double cov = dotCoverage(x, y, angle);
                int index = cov <= 0 ? groundIndex : int(std::lround((1 - cov) * (inkLevels - 1)));
                image.pixels[(size_t(f) * spinnerSide + y) * spinnerSide + x] = uint8_t(index);
            }
    }
    return image;
}

Image makeBackground()
{
    static const uint8_t colours[12][3] = {
        {255, 194, 14}, {237, 28, 36}, {245, 228, 156}, {153, 0, 48},
        {255, 242, 0},  {255, 126, 0}, {255, 249, 189}, {0, 183, 239},
        {229, 170, 122}, {255, 163, 177}, {168, 230, 29}, {111, 49, 152},
    };
    Image image;
    image.allocate(4, 3, 24, false);
    std::memcpy(image.pixels, colours, sizeof colours);
    return image;
}

Canvas makeIconArt()
{
    Canvas c(16, 16, Rgb{0, 0, 0}, 0);
    drawEraseToolIcon(c, 0, 0);
    return c;
}
