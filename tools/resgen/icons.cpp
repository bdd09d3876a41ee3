#include "icons.h"

#include <cmath>

namespace {

const Rgb folderEdge{196, 150, 54};
const Rgb folderBack{233, 190, 90};
const Rgb folderFrontTop{255, 228, 148};
const Rgb folderFrontBottom{245, 198, 96};

// A sheet of paper with a folded top-right corner, 12 x 15 at (x, y).
void paper(Canvas& c, int x, int y)
{
    const Rgb edge{130, 138, 150}, sheet{255, 255, 255};
    fillRect(c, x + 1, y + 1, x + 10, y + 14, sheet);
    hline(c, x, x + 7, y, edge);
    vline(c, x, y, y + 15, edge);
    hline(c, x, x + 11, y + 15, edge);
    vline(c, x + 11, y + 4, y + 15, edge);
    // folded corner
    for (int i = 0; i < 4; ++i)
        c.set(x + 8 + i, y + i, edge);
    fillRect(c, x + 8, y + 1, x + 8, y + 3, Rgb{222, 226, 232});
    fillRect(c, x + 9, y + 3, x + 10, y + 3, Rgb{222, 226, 232});
    c.set(x + 9, y + 2, Rgb{222, 226, 232});
    for (int x2 = x + 8; x2 <= x + 11; ++x2)
        c.set(x2, y + 4, edge);
    vline(c, x + 8, y, y + 4, edge);
}

} // namespace

void drawFolderIcon(Canvas& c, int x, int y, bool open)
{
    // back with its tab
    fillRect(c, x + 1, y + 2, x + 6, y + 4, folderBack);
    hline(c, x + 1, x + 6, y + 2, folderEdge);
    fillRect(c, x + 1, y + 4, x + 14, y + 13, folderBack);
    frameRect(c, x + 1, y + 4, x + 14, y + 13, folderEdge);
    vline(c, x + 1, y + 2, y + 4, folderEdge);
    vline(c, x + 7, y + 3, y + 4, folderEdge);
    if (open) {
        fillRect(c, x + 3, y + 5, x + 12, y + 9, Rgb{255, 255, 255});
        for (int row = 0; row < 6; ++row) {
            int left = x + 2 + (5 - row) / 2, right = x + 15 - row / 2;
            hline(c, left, right, y + 8 + row, lerp(folderFrontTop, folderFrontBottom, row, 5));
            c.set(left, y + 8 + row, folderEdge);
            c.set(right, y + 8 + row, folderEdge);
        }
        hline(c, x + 4, x + 15, y + 7, folderEdge);
        hline(c, x + 1, x + 13, y + 13, folderEdge);
    } else {
        verticalGradient(c, x + 2, y + 6, x + 13, y + 12, folderFrontTop, folderFrontBottom);
        hline(c, x + 1, x + 14, y + 5, folderEdge);
        hline(c, x + 2, x + 13, y + 6, Rgb{255, 240, 190});
    }
}

void drawDocumentIcon(Canvas& c, int x, int y)
{
    paper(c, x + 2, y);
    const Rgb line{150, 170, 200};
    for (int row = 6; row <= 12; row += 2)
        hline(c, x + 4, x + 11, y + row, line);
    // blue badge of the word processor in the lower left
    fillRect(c, x, y + 8, x + 7, y + 15, Rgb{43, 87, 154});
    frameRect(c, x, y + 8, x + 7, y + 15, Rgb{30, 62, 112});
    // a white "W" on the badge
    static const char* const letter[5] = {"X....X", "X....X", "X.XX.X", "X.XX.X", ".X..X."};
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 6; ++col)
            if (letter[row][col] == 'X')
                c.set(x + 1 + col, y + 10 + row, Rgb{255, 255, 255});
}

void drawTextFileIcon(Canvas& c, int x, int y)
{
    paper(c, x + 2, y);
    const Rgb line{120, 120, 120};
    for (int row = 6; row <= 12; row += 2)
        hline(c, x + 4, x + (row == 12 ? 9 : 11), y + row, line);
}

void drawComputerIcon(Canvas& c, int x, int y)
{
    roundedBox(c, x + 1, y + 1, x + 14, y + 11, Rgb{70, 80, 95}, Rgb{90, 100, 115}, Rgb{60, 70, 85});
    verticalGradient(c, x + 3, y + 3, x + 12, y + 9, Rgb{120, 190, 240}, Rgb{40, 110, 190});
    fillRect(c, x + 6, y + 12, x + 9, y + 13, Rgb{100, 105, 115});
    hline(c, x + 3, x + 12, y + 14, Rgb{80, 85, 95});
}

void drawDriveIcon(Canvas& c, int x, int y)
{
    roundedBox(c, x, y + 5, x + 15, y + 12, Rgb{100, 105, 115}, Rgb{225, 228, 232}, Rgb{170, 175, 182});
    hline(c, x + 2, x + 13, y + 10, Rgb{140, 145, 152});
    fillRect(c, x + 11, y + 7, x + 12, y + 8, Rgb{60, 200, 80});
    // the platform's window emblem above the drive: four coloured panes
    fillRect(c, x + 2, y + 1, x + 3, y + 2, Rgb{230, 80, 40});
    fillRect(c, x + 5, y + 1, x + 6, y + 2, Rgb{120, 190, 40});
    fillRect(c, x + 2, y + 4, x + 3, y + 4, Rgb{40, 140, 230});
    fillRect(c, x + 5, y + 4, x + 6, y + 4, Rgb{250, 190, 30});
}

void drawNetworkIcon(Canvas& c, int x, int y)
{
    fillDisc(c, x + 7.5, y + 7.5, 6.8, Rgb{60, 120, 200});
    fillDisc(c, x + 6.5, y + 6.0, 3.5, Rgb{110, 180, 90});
    fillDisc(c, x + 10.5, y + 10.0, 2.2, Rgb{110, 180, 90});
    drawLine(c, x + 1.5, y + 7.5, x + 13.5, y + 7.5, 0.7, Rgb{200, 225, 250});
}

void drawBinIcon(Canvas& c, int x, int y)
{
    const Rgb edge{110, 120, 135};
    for (int row = 0; row < 12; ++row) {
        int inset = row / 5;
        hline(c, x + 3 + inset, x + 12 - inset, y + 3 + row, lerp(Rgb{235, 240, 246}, Rgb{190, 200, 214}, row, 11));
        c.set(x + 3 + inset, y + 3 + row, edge);
        c.set(x + 12 - inset, y + 3 + row, edge);
    }
    hline(c, x + 2, x + 13, y + 2, edge);
    hline(c, x + 5, x + 10, y + 14, edge);
    for (int col = 5; col <= 10; col += 2)
        vline(c, x + col, y + 5, y + 12, Rgb{170, 180, 195});
}

void drawDesktopIcon(Canvas& c, int x, int y)
{
    roundedBox(c, x, y + 2, x + 15, y + 13, Rgb{40, 70, 120}, Rgb{70, 140, 220}, Rgb{30, 90, 170});
    fillRect(c, x + 2, y + 4, x + 5, y + 6, Rgb{255, 255, 255});
    fillRect(c, x + 2, y + 8, x + 5, y + 10, Rgb{240, 210, 110});
}

void drawEraseToolIcon(Canvas& c, int x, int y)
{
    paper(c, x + 2, y);
    const Rgb red{212, 36, 36};
    for (auto [dx, dy] : {std::pair{8.0, 6.3}, {11.2, 9.5}, {8.0, 12.7}, {4.8, 9.5}})
        fillDisc(c, x + dx, y + dy, 1.55, red);
}

void drawNavArrow(Canvas& c, int x, int y, bool forward, bool enabled)
{
    Rgb ring = enabled ? Rgb{38, 94, 168} : Rgb{170, 180, 195};
    Rgb top = enabled ? Rgb{110, 170, 235} : Rgb{225, 230, 238};
    Rgb bottom = enabled ? Rgb{30, 100, 190} : Rgb{195, 202, 214};
    double cx = x + 11.5, cy = y + 11.5;
    fillDisc(c, cx, cy, 10.5, ring);
    for (int i = 0; i < 10; ++i)
        fillDisc(c, cx, cy - 0.2 * i, 9.5 - 0.35 * i, lerp(bottom, top, i, 9));
    Rgb arrow = enabled ? Rgb{255, 255, 255} : Rgb{245, 247, 250};
    double d = forward ? 1 : -1;
    drawLine(c, cx - 5 * d, cy, cx + 5 * d, cy, 2.6, arrow);
    drawLine(c, cx + 5 * d, cy, cx + 0.5 * d, cy - 4.5, 2.6, arrow);
    drawLine(c, cx + 5 * d, cy, cx + 0.5 * d, cy + 4.5, 2.6, arrow);
}

void drawUpFolderIcon(Canvas& c, int x, int y)
{
    drawFolderIcon(c, x + 2, y + 6, false);
    drawLine(c, x + 16, y + 3, x + 16, y + 13, 2.4, Rgb{40, 140, 60});
    drawLine(c, x + 16, y + 2.5, x + 12.5, y + 6.5, 2.4, Rgb{40, 140, 60});
    drawLine(c, x + 16, y + 2.5, x + 19.5, y + 6.5, 2.4, Rgb{40, 140, 60});
}

void drawSearchIcon(Canvas& c, int x, int y)
{
    fillDisc(c, x + 10, y + 10, 7, Rgb{70, 90, 120});
    fillDisc(c, x + 10, y + 10, 5.3, Rgb{215, 235, 250});
    fillDisc(c, x + 8.8, y + 8.6, 2.0, Rgb{255, 255, 255});
    drawLine(c, x + 15, y + 15, x + 20.5, y + 20.5, 3.2, Rgb{90, 70, 50});
}

void drawFoldersIcon(Canvas& c, int x, int y)
{
    drawFolderIcon(c, x + 6, y + 7, false);
    const Rgb line{110, 120, 135};
    vline(c, x + 3, y + 3, y + 20, line);
    hline(c, x + 3, x + 6, y + 13, line);
    hline(c, x + 3, x + 6, y + 20, line);
    fillRect(c, x + 1, y + 1, x + 5, y + 4, Rgb{233, 190, 90});
    frameRect(c, x + 1, y + 1, x + 5, y + 4, folderEdge);
    fillRect(c, x + 7, y + 18, x + 11, y + 21, Rgb{233, 190, 90});
    frameRect(c, x + 7, y + 18, x + 11, y + 21, folderEdge);
}

void drawViewsIcon(Canvas& c, int x, int y)
{
    const Rgb edge{90, 100, 115};
    for (int row = 0; row < 4; ++row) {
        int ry = y + 3 + row * 5;
        fillRect(c, x + 2, ry, x + 5, ry + 3, Rgb{120, 170, 225});
        frameRect(c, x + 2, ry, x + 5, ry + 3, edge);
        hline(c, x + 8, x + 20, ry + 1, edge);
        hline(c, x + 8, x + 16, ry + 2, Rgb{170, 178, 190});
    }
}

void drawQuestionIcon(Canvas& c, int x, int y)
{
    // Warning triangle: the erase cannot be undone.
    const Rgb edge{190, 130, 10};
    for (int row = 0; row < 28; ++row) {
        double half = 1.0 + row * 0.52;
        double cx = x + 15.5;
        for (int col = int(cx - half - 1); col <= int(cx + half + 1); ++col) {
            double d = half - std::abs(col + 0.5 - cx);
            if (d <= -0.5)
                continue;
            Rgb fill = lerp(Rgb{255, 226, 90}, Rgb{250, 190, 20}, row, 27);
            if (d < 1.2 || row > 25)
                fill = edge;
            c.blend(col, y + 2 + row, fill, d < 0 ? int(255 * (d + 0.5) * 2) : 255);
        }
    }
    fillRect(c, x + 14, y + 10, x + 17, y + 21, Rgb{40, 30, 10});
    fillRect(c, x + 14, y + 24, x + 17, y + 26, Rgb{40, 30, 10});
    c.set(x + 14, y + 21, Rgb{230, 180, 40});
    c.set(x + 17, y + 21, Rgb{230, 180, 40});
}

void drawShredIcon(Canvas& c, int x, int y)
{
    const Rgb edge{120, 128, 140};
    // the document, its lower part cut into strips
    fillRect(c, x + 6, y + 1, x + 25, y + 15, Rgb{255, 255, 255});
    frameRect(c, x + 6, y + 1, x + 25, y + 15, edge);
    for (int row = 4; row <= 12; row += 3)
        hline(c, x + 9, x + 22, y + row, Rgb{150, 170, 200});
    // the erase tool's four red dots on the device
    roundedBox(c, x + 2, y + 15, x + 29, y + 22, Rgb{60, 66, 78}, Rgb{120, 128, 142}, Rgb{70, 76, 90});
    const Rgb red{220, 40, 40};
    for (int i = 0; i < 4; ++i)
        fillDisc(c, x + 8.5 + i * 5, y + 18.5, 1.5, red);
    for (int col = 0; col < 7; ++col) {
        int sx = x + 7 + col * 3;
        int len = 4 + (col * 5) % 6;
        fillRect(c, sx, y + 23, sx + 1, y + 23 + len, Rgb{250, 250, 250});
        vline(c, sx + 1, y + 23, y + 23 + len, Rgb{190, 196, 205});
    }
}

void drawExpander(Canvas& c, int x, int y, bool expanded)
{
    if (expanded) {
        for (int i = 0; i < 5; ++i)
            hline(c, x + i, x + 4, y + 4 - i + 0, Rgb{38, 38, 38});
    } else {
        for (int i = 0; i < 4; ++i) {
            c.set(x + i, y + i, Rgb{150, 150, 150});
            c.set(x + i, y + 7 - i, Rgb{150, 150, 150});
        }
        vline(c, x, y, y + 7, Rgb{150, 150, 150});
    }
}

void drawSubmenuArrow(Canvas& c, int x, int y, Rgb colour)
{
    for (int i = 0; i < 4; ++i)
        vline(c, x + i, y + i, y + 6 - i, colour);
}
