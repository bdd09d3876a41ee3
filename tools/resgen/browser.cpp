// The file-browser window: title bar, menu bar, toolbar, address bar,
// folder tree, details list and status bar.
#include "icons.h"
#include "layout.h"
#include "scene.h"
#include "text.h"

#include <string>

using namespace layout;

const char* const firstDocumentName = "Annual report.doc";
const char* const firstDocumentPath = "C:\\Users\\Public\\Documents\\Annual report.doc";

namespace {

const Rgb black{0, 0, 0};
const Rgb white{255, 255, 255};
const Rgb textColour{30, 30, 30};
const Rgb greyText{109, 109, 109};
const Rgb chromeLine{200, 208, 218};
const Rgb paneBack{240, 242, 245};

constexpr int uiSize = 11;      // interface text, about 8 points
constexpr int headerBottom = 130;
constexpr int treeRight = 205;
constexpr int statusTop = 578;

struct Column {
    const char* title;
    int left, right;
    bool alignRight;
};
const Column columns[] = {
    {"Name", 211, 400, false},
    {"Date modified", 401, 530, false},
    {"Type", 531, 650, false},
    {"Size", 651, 730, true},
};

struct Entry {
    const char* name;
    const char* date;
    const char* type;
    const char* size;
    bool isText;
};
const Entry documents[] = {
    {"Annual report.doc", "2026-12-03 09:41", "Document", "48 KB", false},
    {"Meeting notes.txt", "2026-11-27 16:05", "Text Document", "3 KB", true},
};

void drawCaptionButton(Canvas& c, int x0, int x1, int kind, bool active)
{
    // kind 0 minimise, 1 maximise/restore, 2 close
    const int y0 = closeTop, y1 = closeBottom;
    Rgb border = active ? Rgb{42, 72, 120} : Rgb{140, 152, 168};
    Rgb top, bottom;
    if (kind == 2 && active) {
        top = {236, 148, 128};
        bottom = {196, 52, 36};
        border = {110, 30, 22};
    } else if (active) {
        top = {150, 186, 232};
        bottom = {72, 120, 190};
    } else {
        top = {226, 232, 240};
        bottom = {200, 208, 220};
    }
    roundedBox(c, x0, y0, x1, y1, border, top, bottom);
    hline(c, x0 + 2, x1 - 2, y0 + 1, mix(top, white, 110));
    Rgb glyph = active ? white : Rgb{120, 130, 145};
    int cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    if (kind == 0) {
        fillRect(c, cx - 4, cy + 2, cx + 4, cy + 3, glyph);
    } else if (kind == 1) {
        frameRect(c, cx - 5, cy - 4, cx + 4, cy + 4, glyph);
        hline(c, cx - 5, cx + 4, cy - 3, glyph);
    } else {
        double x = cx + 0.5, y = cy + 0.5;
        drawLine(c, x - 4, y - 4, x + 4, y + 4, 2.0, glyph);
        drawLine(c, x - 4, y + 4, x + 4, y - 4, 2.0, glyph);
    }
}

void drawMenuBar(Canvas& c)
{
    verticalGradient(c, 0, 22, sceneWidth - 1, 40, Rgb{248, 249, 251}, Rgb{238, 241, 245});
    hline(c, 0, sceneWidth - 1, 40, Rgb{218, 222, 228});
    int x = 9;
    for (const char* item : {"&File", "&Edit", "&View", "F&avorites", "&Tools", "&Help"}) {
        x = drawMnemonicText(c, Face::Regular, uiSize, x, 35, item, textColour);
        x += 16;
    }
}

int toolbarButton(Canvas& c, int x, void (*icon)(Canvas&, int, int), const char* label, bool dropDown)
{
    icon(c, x, 47);
    int end = x + 24;
    if (label)
        end = drawText(c, Face::Regular, uiSize, x + 28, 63, label, textColour);
    if (dropDown) {
        for (int i = 0; i < 3; ++i)
            hline(c, end + 4 + i, end + 8 - i, 58 + i, textColour);
        end += 10;
    }
    return end + 12;
}

void toolbarSeparator(Canvas& c, int x)
{
    vline(c, x, 46, 71, Rgb{190, 198, 210});
    vline(c, x + 1, 46, 71, white);
}

void drawToolbar(Canvas& c)
{
    verticalGradient(c, 0, 41, sceneWidth - 1, 76, Rgb{252, 253, 254}, Rgb{226, 233, 242});
    hline(c, 0, sceneWidth - 1, 76, chromeLine);
    int x = 6;
    drawNavArrow(c, x, 47, false, true);
    x = drawText(c, Face::Regular, uiSize, x + 28, 63, "Back", textColour);
    for (int i = 0; i < 3; ++i)
        hline(c, x + 4 + i, x + 8 - i, 58 + i, textColour);
    x += 22;
    drawNavArrow(c, x, 47, true, false);
    x += 36;
    toolbarSeparator(c, x);
    x += 10;
    x = toolbarButton(c, x, drawUpFolderIcon, nullptr, false);
    toolbarSeparator(c, x - 4);
    x += 8;
    x = toolbarButton(c, x, drawSearchIcon, "Search", false);
    x = toolbarButton(c, x, drawFoldersIcon, "Folders", false);
    toolbarSeparator(c, x - 4);
    x += 8;
    toolbarButton(c, x, drawViewsIcon, nullptr, true);
}

void drawAddressBar(Canvas& c)
{
    fillRect(c, 0, 77, sceneWidth - 1, 103, paneBack);
    drawText(c, Face::Regular, uiSize, 8, 94, "Address", greyText);
    const int fx0 = 60, fx1 = 741, fy0 = 80, fy1 = 100;
    fillRect(c, fx0, fy0, fx1, fy1, white);
    frameRect(c, fx0, fy0, fx1, fy1, Rgb{150, 164, 186});
    drawFolderIcon(c, fx0 + 4, fy0 + 3, true);
    drawText(c, Face::Regular, uiSize, fx0 + 24, 94, "C:\\Users\\Public\\Documents", textColour);
    // drop-down button at the right end of the field
    roundedBox(c, fx1 - 17, fy0 + 1, fx1 - 1, fy1 - 1, Rgb{190, 200, 214}, Rgb{246, 248, 251}, Rgb{220, 227, 236});
    for (int i = 0; i < 3; ++i)
        hline(c, fx1 - 12 + i, fx1 - 6 - i, 89 + i, textColour);
    // "Go" button
    roundedBox(c, 747, fy0, 790, fy1, Rgb{150, 164, 186}, Rgb{250, 251, 253}, Rgb{222, 229, 238});
    drawLine(c, 753, 90.5, 763, 90.5, 2.4, Rgb{40, 150, 60});
    drawLine(c, 763, 90.5, 758.5, 86, 2.4, Rgb{40, 150, 60});
    drawLine(c, 763, 90.5, 758.5, 95, 2.4, Rgb{40, 150, 60});
    drawText(c, Face::Regular, uiSize, 769, 94, "Go", textColour);
    hline(c, 0, sceneWidth - 1, 104, chromeLine);
    hline(c, 0, sceneWidth - 1, 105, paneBack);
}

struct TreeItem {
    int level;
    const char* name;
    void (*icon)(Canvas&, int, int);
    int expander; // 0 none, 1 collapsed, 2 expanded
};

void closedFolder(Canvas& c, int x, int y) { drawFolderIcon(c, x, y, false); }
void openFolder(Canvas& c, int x, int y) { drawFolderIcon(c, x, y, true); }

void drawTree(Canvas& c)
{
    fillRect(c, 0, 106, treeRight, statusTop - 1, white);
    // pane caption
    verticalGradient(c, 0, 106, treeRight, 125, Rgb{246, 248, 251}, Rgb{232, 237, 243});
    hline(c, 0, treeRight, 125, chromeLine);
    drawText(c, Face::Regular, uiSize, 7, 120, "Folders", textColour);
    double cx = treeRight - 10.5, cy = 115.5;
    drawLine(c, cx - 3, cy - 3, cx + 3, cy + 3, 1.3, greyText);
    drawLine(c, cx - 3, cy + 3, cx + 3, cy - 3, 1.3, greyText);

    const TreeItem items[] = {
        {0, "Desktop", drawDesktopIcon, 2},
        {1, "Computer", drawComputerIcon, 2},
        {2, "Local Disk (C:)", drawDriveIcon, 2},
        {3, "Program Files", closedFolder, 1},
        {3, "Users", openFolder, 2},
        {4, "Public", openFolder, 2},
        {5, "Documents", openFolder, 0},
        {5, "Music", closedFolder, 0},
        {5, "Pictures", closedFolder, 0},
        {5, "Videos", closedFolder, 0},
        {3, "Windows", closedFolder, 1},
        {2, "DVD Drive (D:)", drawDriveIcon, 0},
        {1, "Network", drawNetworkIcon, 1},
        {1, "Recycle Bin", drawBinIcon, 0},
    };
    int y = 130;
    for (const TreeItem& item : items) {
        int x = 6 + item.level * 14;
        if (item.expander)
            drawExpander(c, x, y + 5, item.expander == 2);
        bool current = std::string(item.name) == "Documents" && item.level == 5;
        int textX = x + 31;
        if (current) {
            int w = textWidth(Face::Regular, uiSize, item.name);
            roundedBox(c, x + 10, y, textX + w + 3, y + 17, Rgb{200, 205, 212}, Rgb{236, 238, 241}, Rgb{222, 226, 231});
        }
        item.icon(c, x + 11, y + 1);
        drawText(c, Face::Regular, uiSize, textX, y + 13, item.name, textColour);
        y += 19;
    }
    // splitter between tree and list
    fillRect(c, treeRight + 1, 106, listLeft - 1, statusTop - 1, paneBack);
    vline(c, treeRight + 1, 106, statusTop - 1, chromeLine);
    vline(c, listLeft - 1, 106, statusTop - 1, chromeLine);
}

void drawList(Canvas& c, const BrowserState& s)
{
    fillRect(c, listLeft, 106, sceneWidth - 1, statusTop - 1, white);
    verticalGradient(c, listLeft, 106, sceneWidth - 1, headerBottom - 1, white, Rgb{241, 243, 246});
    hline(c, listLeft, sceneWidth - 1, headerBottom, Rgb{213, 218, 225});
    for (const Column& col : columns) {
        vline(c, col.right, 108, headerBottom - 3, Rgb{222, 226, 232});
        int x = col.alignRight ? col.right - 7 - textWidth(Face::Regular, uiSize, col.title) : col.left + 6;
        drawText(c, Face::Regular, uiSize, x, 122, col.title, Rgb{76, 96, 122});
    }
    // sort mark on the name column
    for (int i = 0; i < 4; ++i)
        hline(c, 303 - i, 303 + i, 107 + i, Rgb{120, 140, 165});

    int row = 0;
    for (int i = 0; i < 2; ++i) {
        if (i == 0 && s.firstGone)
            continue;
        const Entry& e = documents[i];
        int top = rowTop + row * rowHeight, baseline = top + 13;
        bool selected = i == 0 && s.firstSelected;
        Rgb nameColour = textColour;
        if (selected) {
            int right = nameTextX + textWidth(Face::Regular, uiSize, e.name) + 2;
            Rgb fill = s.active ? highlightColour : Rgb{217, 221, 227};
            fillRect(c, selectionLeft, top, right, top + rowHeight - 1, fill);
            nameColour = s.active ? white : textColour;
        }
        if (e.isText)
            drawTextFileIcon(c, nameIconX, top + 1);
        else
            drawDocumentIcon(c, nameIconX, top + 1);
        drawText(c, Face::Regular, uiSize, nameTextX, baseline, e.name, nameColour);
        drawText(c, Face::Regular, uiSize, columns[1].left + 6, baseline, e.date, greyText);
        drawText(c, Face::Regular, uiSize, columns[2].left + 6, baseline, e.type, greyText);
        int w = textWidth(Face::Regular, uiSize, e.size);
        drawText(c, Face::Regular, uiSize, columns[3].right - 7 - w, baseline, e.size, greyText);
        ++row;
    }
}

void drawStatusBar(Canvas& c, const BrowserState& s)
{
    verticalGradient(c, 0, statusTop, sceneWidth - 1, sceneHeight - 1, Rgb{243, 245, 248}, Rgb{229, 233, 239});
    hline(c, 0, sceneWidth - 1, statusTop, chromeLine);
    const char* left = s.firstGone ? "1 object" : s.firstSelected ? "1 object selected" : "2 objects";
    const char* size = s.firstGone ? "3 KB" : s.firstSelected ? "48 KB" : "51 KB";
    drawText(c, Face::Regular, uiSize, 8, 593, left, textColour);
    const int sizeCell = 560, zoneCell = 660;
    for (int x : {sizeCell, zoneCell}) {
        vline(c, x, statusTop + 3, sceneHeight - 3, Rgb{190, 198, 210});
        vline(c, x + 1, statusTop + 3, sceneHeight - 3, white);
    }
    drawText(c, Face::Regular, uiSize, sizeCell + 8, 593, size, textColour);
    drawComputerIcon(c, zoneCell + 8, statusTop + 3);
    drawText(c, Face::Regular, uiSize, zoneCell + 29, 593, "Computer", textColour);
    // size grip
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j)
            fillRect(c, 793 - j * 4, 595 - (i - j) * 4 - 1, 794 - j * 4, 596 - (i - j) * 4 - 1, Rgb{170, 178, 190});
}

} // namespace

void drawTitleBar(Canvas& c, int x0, int x1, int y0, int height, bool active, bool bigButtons, const char* title)
{
    Rgb top = active ? Rgb{88, 142, 212} : Rgb{214, 222, 232};
    Rgb bottom = active ? Rgb{50, 100, 176} : Rgb{190, 201, 215};
    verticalGradient(c, x0, y0, x1, y0 + height - 1, top, bottom);
    hline(c, x0, x1, y0 + height - 1, active ? Rgb{34, 66, 120} : Rgb{160, 172, 188});
    Rgb ink = active ? white : Rgb{96, 106, 120};
    if (bigButtons) {
        drawFolderIcon(c, x0 + 5, y0 + 3, true);
        drawText(c, Face::Bold, 12, x0 + 26, y0 + 15, title, ink);
        drawCaptionButton(c, 693, 719, 0, active);
        drawCaptionButton(c, 720, 746, 1, active);
        drawCaptionButton(c, closeLeft, closeRight, 2, active);
    } else {
        drawText(c, Face::Bold, 12, x0 + 8, y0 + 15, title, ink);
        // the dialog's own small close button
        int bx1 = x1 - 5, bx0 = bx1 - 26;
        Rgb face0 = active ? Rgb{236, 148, 128} : Rgb{226, 232, 240};
        Rgb face1 = active ? Rgb{196, 52, 36} : Rgb{200, 208, 220};
        roundedBox(c, bx0, y0 + 2, bx1, y0 + 16, active ? Rgb{110, 30, 22} : Rgb{140, 152, 168}, face0, face1);
        double cx = (bx0 + bx1) / 2.0 + 0.5, cy = y0 + 9.5;
        drawLine(c, cx - 3.5, cy - 3.5, cx + 3.5, cy + 3.5, 1.8, ink);
        drawLine(c, cx - 3.5, cy + 3.5, cx + 3.5, cy - 3.5, 1.8, ink);
    }
}

void drawBrowser(Canvas& c, const BrowserState& s)
{
    fillRect(c, 0, 0, sceneWidth - 1, sceneHeight - 1, white);
    drawTitleBar(c, 0, sceneWidth - 1, 0, titleBottom + 1, s.active, true, "Documents");
    drawMenuBar(c);
    drawToolbar(c);
    drawAddressBar(c);
    drawTree(c);
    drawList(c, s);
    drawStatusBar(c, s);
}
