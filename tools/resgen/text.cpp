#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>

namespace {

FT_Library library = nullptr;
FT_Face faces[2] = {nullptr, nullptr};

const char* const fontFiles[2] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
};

FT_Face faceFor(Face face, int pixelSize)
{
    FT_Face f = faces[face == Face::Bold ? 1 : 0];
    FT_Set_Pixel_Sizes(f, 0, FT_UInt(pixelSize));
    return f;
}

// Next code point of a UTF-8 string; the tools only pass their own literals.
uint32_t nextCodePoint(const std::string& s, size_t& i)
{
    unsigned char c = s[i++];
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    uint32_t cp = c & (0x3F >> extra);
    while (extra-- > 0 && i < s.size())
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

// Light hinting keeps stems crisp at interface sizes without the distorted
// shapes of full hinting.
constexpr FT_Int32 loadFlags = FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT;

} // namespace

bool openFonts()
{
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "resgen: FreeType failed to start\n");
        return false;
    }
    for (int i = 0; i < 2; ++i)
        if (FT_New_Face(library, fontFiles[i], 0, &faces[i]) != 0) {
            std::fprintf(stderr, "resgen: cannot load %s (Debian package fonts-dejavu-core)\n", fontFiles[i]);
            return false;
        }
    return true;
}

void closeFonts()
{
    for (FT_Face& f : faces)
        if (f) {
            FT_Done_Face(f);
            f = nullptr;
        }
    if (library) {
        FT_Done_FreeType(library);
        library = nullptr;
    }
}

int textWidth(Face face, int pixelSize, const std::string& text)
{
    FT_Face f = faceFor(face, pixelSize);
    long pen = 0;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = nextCodePoint(text, i);
        if (FT_Load_Char(f, cp, loadFlags) == 0)
            pen += f->glyph->advance.x;
    }
    return int((pen + 32) >> 6);
}

int drawText(Canvas& c, Face face, int pixelSize, int x, int baseline, const std::string& text, Rgb colour)
{
    FT_Face f = faceFor(face, pixelSize);
    long pen = long(x) << 6;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = nextCodePoint(text, i);
        if (FT_Load_Char(f, cp, loadFlags) != 0)
            continue;
        FT_GlyphSlot g = f->glyph;
        int left = int((pen + 32) >> 6) + g->bitmap_left;
        int top = baseline - g->bitmap_top;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col)
                c.blend(left + int(col), top + int(row), colour, bm.buffer[row * bm.pitch + col]);
        pen += g->advance.x;
    }
    return int((pen + 32) >> 6);
}

int drawMnemonicText(Canvas& c, Face face, int pixelSize, int x, int baseline, const std::string& text, Rgb colour)
{
    size_t amp = text.find('&');
    if (amp == std::string::npos || amp + 1 >= text.size())
        return drawText(c, face, pixelSize, x, baseline, text, colour);
    std::string before = text.substr(0, amp), key = text.substr(amp + 1, 1), after = text.substr(amp + 2);
    int x1 = drawText(c, face, pixelSize, x, baseline, before, colour);
    int x2 = drawText(c, face, pixelSize, x1, baseline, key, colour);
    hline(c, x1, x2 - 1, baseline + 2, colour);
    return drawText(c, face, pixelSize, x2, baseline, after, colour);
}
