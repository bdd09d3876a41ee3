// resgen_cursor_icon OUTDIR [PREVIEWDIR]
//
// Writes the window class cursor and icon as the raw resource pieces the
// resource script names: the image (RT_CURSOR / RT_ICON data) and its group
// directory (RT_GROUP_CURSOR / RT_GROUP_ICON data).
//
//   cursor-1.bin          hot spot (0, 0), then a 32 x 32 1-bit DIB: AND
//                         mask all ones, XOR mask an arrow outline with its
//                         tip at (1, 1), so the outline inverts the screen
//   cursor-group-111.bin  one entry, image id 1
//   icon-2.bin            16 x 16 32-bit DIB with alpha, and its AND mask
//   icon-group-113.bin    one entry, image id 2
#include "pack.h"
#include "sprites.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void put16(std::vector<unsigned char>& b, unsigned v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void put32(std::vector<unsigned char>& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// BITMAPINFOHEADER of an icon or cursor image: the height counts the XOR
// and the AND mask together.
void infoHeader(std::vector<unsigned char>& b, int side, int bits, uint32_t imageBytes, uint32_t colours)
{
    put32(b, 40);
    put32(b, uint32_t(side));
    put32(b, uint32_t(side * 2));
    put16(b, 1);
    put16(b, unsigned(bits));
    put32(b, 0); // BI_RGB
    put32(b, imageBytes);
    put32(b, 0);
    put32(b, 0);
    put32(b, colours);
    put32(b, 0);
}

// The arrow outline: the 'B' pixels of the pointer's shape, moved by (1, 1).
bool outlineAt(int x, int y)
{
    int ax = x - 1, ay = y - 1;
    return ax >= 0 && ay >= 0 && ay < 19 && ax < 12 && arrowShape[ay][ax] == 'B';
}

std::vector<unsigned char> cursorImage()
{
    const int side = 32, rowBytes = 4;
    std::vector<unsigned char> b;
    put16(b, 0); // hot spot x
    put16(b, 0); // hot spot y
    infoHeader(b, side, 1, uint32_t(rowBytes * side * 2), 2);
    put32(b, 0x00000000); // colour 0 black
    put32(b, 0x00FFFFFF); // colour 1 white
    // DIB rows run bottom-up.
    for (int y = side - 1; y >= 0; --y)
        for (int byte = 0; byte < rowBytes; ++byte) {
            unsigned v = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (outlineAt(byte * 8 + bit, y))
                    v |= 0x80u >> bit;
            b.push_back(uint8_t(v));
        }
    b.insert(b.end(), size_t(rowBytes) * side, 0xFF); // AND mask: all ones
    return b;
}

std::vector<unsigned char> iconImage(const Canvas& art)
{
    const int side = 16;
    std::vector<unsigned char> b;
    infoHeader(b, side, 32, uint32_t(side * side * 4 + 4 * side), 0);
    for (int y = side - 1; y >= 0; --y)
        for (int x = 0; x < side; ++x) {
            Rgb c = art.at(x, y);
            uint8_t a = art.alphaAt(x, y);
            b.push_back(c.b);
            b.push_back(c.g);
            b.push_back(c.r);
            b.push_back(a);
        }
    // AND mask, rows padded to 4 bytes: set where the icon is transparent,
    // for systems that draw icons without their alpha channel.
    for (int y = side - 1; y >= 0; --y) {
        unsigned v = 0;
        for (int x = 0; x < side; ++x)
            if (art.alphaAt(x, y) < 128)
                v |= 0x8000u >> x;
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
        b.push_back(0);
        b.push_back(0);
    }
    return b;
}

// Group directory with one entry. Cursor entries give width and height as
// 16-bit numbers (the height doubled, as in the image); icon entries as bytes
// followed by a colour count and a reserved byte.
std::vector<unsigned char> groupEntry(bool cursor, int side, int bits, size_t imageBytes, unsigned id)
{
    std::vector<unsigned char> b;
    put16(b, 0);
    put16(b, cursor ? 2 : 1);
    put16(b, 1);
    if (cursor) {
        put16(b, unsigned(side));
        put16(b, unsigned(side * 2));
    } else {
        b.push_back(uint8_t(side));
        b.push_back(uint8_t(side));
        b.push_back(0);
        b.push_back(0);
    }
    put16(b, 1);
    put16(b, unsigned(bits));
    put32(b, uint32_t(imageBytes));
    put16(b, id);
    return b;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: resgen_cursor_icon OUTDIR [PREVIEWDIR]\n");
        return 2;
    }
    std::string out = argv[1];
    std::vector<unsigned char> cursor = cursorImage();
    Canvas art = makeIconArt();
    std::vector<unsigned char> icon = iconImage(art);
    bool ok = writeFile(out + "/cursor-1.bin", cursor);
    ok = writeFile(out + "/cursor-group-111.bin", groupEntry(true, 32, 1, cursor.size(), 1)) && ok;
    ok = writeFile(out + "/icon-2.bin", icon) && ok;
    ok = writeFile(out + "/icon-group-113.bin", groupEntry(false, 16, 32, icon.size(), 2)) && ok;
    if (argc > 2)
        ok = writePng(std::string(argv[2]) + "/icon.png", toImage(art)) && ok;
    return ok ? 0 : 1;
}
