// Windows that open over the browser: the document's context menu, the
// confirmation box and the erase tool's progress window.
#include "icons.h"
#include "layout.h"
#include "scene.h"
#include "text.h"

#include <string>

using namespace layout;

namespace {

const Rgb white{255, 255, 255};
const Rgb textColour{30, 30, 30};
const Rgb dialogFace{240, 240, 240};
const Rgb frameColour{52, 82, 126};
constexpr int uiSize = 11;

// Menu rows: items are 18 pixels high, separators 8; the layout puts the
// erase entry at the row where the player turns its icon.
struct MenuRow {
    const char* label; // nullptr: separator
    bool bold;
    bool submenu;
};
const MenuRow menuRows[] = {
    {"Open", true, false},
    {"Edit", false, false},
    {"New", false, false},
    {"Print", false, false},
    {nullptr, false, false},
    {"Open with", false, true},
    {nullptr, false, false},
    {"Share with", false, true},
    {"Send to", false, true},
    {nullptr, false, false},
    {"Cut", false, false},
    {"Copy", false, false},
    {nullptr, false, false},
    {"Create shortcut", false, false},
    {"Delete", false, false},
    {"Rename", false, false},
    {nullptr, false, false},
    {"Erase securely", false, false},
    {nullptr, false, false},
    {"Properties", false, false},
};
constexpr int itemHeight = 18, separatorHeight = 8;
constexpr int menuRight = 430;
constexpr int gutterX = 327, labelX = 334;

// A dialog frame: border, title bar, face.
void drawDialogFrame(Canvas& c, int x0, int y0, int x1, int y1, const char* title)
{
    dropShadow(c, x0, y0, x1, y1, 6, 70);
    fillRect(c, x0, y0, x1, y1, dialogFace);
    frameRect(c, x0, y0, x1, y1, frameColour);
    drawTitleBar(c, x0 + 1, x1 - 1, y0 + 1, 21, true, false, title);
}

} // namespace

void drawButton(Canvas& c, int x0, int y0, int x1, int y1, const char* label, bool isDefault)
{
    Rgb border = isDefault ? Rgb{60, 127, 177} : Rgb{112, 112, 112};
    roundedBox(c, x0, y0, x1, y1, border, Rgb{246, 246, 246}, Rgb{218, 218, 218});
    if (isDefault)
        roundedBox(c, x0 + 1, y0 + 1, x1 - 1, y1 - 1, Rgb{150, 205, 240}, Rgb{240, 246, 251}, Rgb{208, 226, 240});
    int w = textWidth(Face::Regular, uiSize, label);
    int x = (x0 + x1 + 1 - w) / 2;
    drawText(c, Face::Regular, uiSize, x, (y0 + y1) / 2 + 5, label, textColour);
}

void drawContextMenu(Canvas& c, bool eraseHighlighted)
{
    int height = 3;
    for (const MenuRow& row : menuRows)
        height += row.label ? itemHeight : separatorHeight;
    const int bottom = menuTop + height + 3;
    dropShadow(c, menuLeft, menuTop, menuRight, bottom, 4, 90);
    fillRect(c, menuLeft, menuTop, menuRight, bottom, menuColour);
    frameRect(c, menuLeft, menuTop, menuRight, bottom, Rgb{151, 151, 151});
    vline(c, gutterX, menuTop + 1, bottom - 1, Rgb{226, 227, 232});
    vline(c, gutterX + 1, menuTop + 1, bottom - 1, white);

    int y = menuTop + 4;
    for (const MenuRow& row : menuRows) {
        if (!row.label) {
            hline(c, gutterX + 2, menuItemRight - 1, y + 3, Rgb{224, 226, 232});
            hline(c, gutterX + 2, menuItemRight - 1, y + 4, white);
            y += separatorHeight;
            continue;
        }
        bool isErase = y == eraseItemTop;
        Rgb ink = textColour;
        if (isErase && eraseHighlighted) {
            fillRect(c, menuItemLeft, y, menuItemRight, y + itemHeight - 1, highlightColour);
            ink = white;
        }
        drawText(c, row.bold ? Face::Bold : Face::Regular, uiSize, labelX, y + 13, row.label, ink);
        if (row.submenu)
            drawSubmenuArrow(c, menuItemRight - 8, y + 6, ink);
        if (std::string(row.label) == "Open with")
            drawDocumentIcon(c, menuItemLeft + 1, y + 1);
        y += itemHeight;
    }
}

void drawConfirmBox(Canvas& c)
{
    drawDialogFrame(c, confirmLeft, confirmTop, confirmRight, confirmBottom, "Erase Object");
    fillRect(c, confirmLeft + 1, confirmTop + 23, confirmRight - 1, buttonTop - 12, white);
    hline(c, confirmLeft + 1, confirmRight - 1, buttonTop - 11, Rgb{223, 223, 223});
    drawQuestionIcon(c, confirmLeft + 18, confirmTop + 38);
    const int tx = confirmLeft + 64;
    drawText(c, Face::Regular, 12, tx, confirmTop + 46, "Are you sure you want to erase the object", textColour);
    std::string line = std::string("\"") + firstDocumentName + "\" and all of its content";
    drawText(c, Face::Regular, 12, tx, confirmTop + 62, line, textColour);
    drawText(c, Face::Regular, 12, tx, confirmTop + 78, "permanently?", textColour);
    drawButton(c, yesLeft, buttonTop, yesRight, buttonBottom, "Yes", true);
    drawButton(c, noLeft, buttonTop, noRight, buttonBottom, "No", false);
}

void drawProgressWindow(Canvas& c)
{
    drawDialogFrame(c, progressLeft, progressTop, progressRight, progressBottom, "Korwipe");
    const int x0 = progressLeft + 18;
    drawShredIcon(c, x0, progressTop + 36);
    drawText(c, Face::Bold, 12, x0 + 46, progressTop + 50, "Erasing...", textColour);
    drawText(c, Face::Regular, uiSize, x0 + 46, progressTop + 68, "Overwriting, pass 2 of 3", Rgb{90, 90, 90});
    drawText(c, Face::Regular, uiSize, x0, progressTop + 96, firstDocumentPath, textColour);
    // progress bar, a little more than half done
    const int bx0 = x0, bx1 = progressRight - 18, by0 = progressTop + 108, by1 = by0 + 15;
    roundedBox(c, bx0, by0, bx1, by1, Rgb{160, 160, 160}, Rgb{236, 236, 236}, Rgb{250, 250, 250});
    int fill = bx0 + 1 + (bx1 - bx0 - 2) * 58 / 100;
    verticalGradient(c, bx0 + 1, by0 + 1, fill, by1 - 1, Rgb{120, 220, 110}, Rgb{38, 170, 50});
    hline(c, bx0 + 1, fill, by0 + 2, Rgb{200, 245, 195});
    drawButton(c, progressRight - 93, progressBottom - 33, progressRight - 18, progressBottom - 11, "Cancel", true);
}
