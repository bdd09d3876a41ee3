// resgen_preview RESDIR OUTDIR
//
// Plays the presentation's story on the committed pictures with the image
// library, as the player composes it, and writes one PNG per step: the scene
// with its layers, the pointer at the step's position and, while the menu is
// open, the spinner flattened on the menu's colours. A contact sheet of all
// steps at half size goes to OUTDIR/contact-sheet.png.
#include "pack.h"
#include "text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool load(Image& image, const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<unsigned char> bytes;
    if (f) {
        unsigned char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    int rc = image.loadMbm(bytes.empty() ? nullptr : bytes.data(), bytes.size());
    if (rc != 0)
        std::fprintf(stderr, "resgen_preview: %s: loadMbm gave %d\n", path.c_str(), rc);
    return rc == 0;
}

// Frame k of the spinner strip flattened on a colour, as the player cuts it.
Image spinnerFrame(const Image& strip, int k, uint32_t colour)
{
    Image frame;
    int w = strip.width;
    frame.allocate(w, w, 8, true);
    std::memcpy(frame.palette, strip.palette, 1024);
    std::memcpy(frame.pixels, strip.pixels + size_t(k) * w * w, size_t(w) * w);
    frame.expandPaletteTo32(0);
    frame.flattenOnColour(colour);
    return frame;
}

struct Step {
    int tick;
    int layer;          // 0: none, 112: reset to the base picture
    int x, y;           // pointer
    int spinner;        // frame, or -1
    bool blue;
    const char* caption;
};

// The story at normal speed, one row per step that rebuilds the frame; the
// moves are shown at one tick in their middle.
const Step steps[] = {
    {4, 112, 386, 278, -1, false, "tick 4: folder with two documents"},
    {15, 0, 345, 208, -1, false, "tick 15: pointer glides to the document"},
    {20, 102, 303, 138, -1, false, "tick 20: pointer on the document"},
    {30, 103, 303, 138, -1, false, "tick 30: document selected"},
    {34, 104, 303, 138, 0, false, "tick 34: context menu, icon turns"},
    {47, 0, 332, 262, 13, false, "tick 47: pointer glides to the erase entry"},
    {55, 105, 366, 405, 21, true, "tick 55: erase entry highlighted"},
    {70, 106, 366, 405, -1, false, "tick 70: confirmation box"},
    {82, 0, 357, 384, -1, false, "tick 82: pointer glides to Yes"},
    {85, 107, 343, 351, -1, false, "tick 85: pointer on Yes"},
    {105, 108, 343, 351, -1, false, "tick 105: progress window"},
    {125, 109, 343, 351, -1, false, "tick 125: progress window gone"},
    {130, 110, 343, 351, -1, false, "tick 130: document gone"},
};

// Half-size copy (2 x 2 averages) of a 32-bit opaque frame, onto a canvas.
void paintHalf(Canvas& sheet, const Image& frame, int left, int top)
{
    for (int y = 0; y < frame.height / 2; ++y)
        for (int x = 0; x < frame.width / 2; ++x) {
            int sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const unsigned char* p = frame.pixels + ((size_t(2 * y + dy) * frame.width) + 2 * x + dx) * 4;
                    for (int ch = 0; ch < 3; ++ch)
                        sum[ch] += p[1 + ch];
                }
            sheet.set(left + x, top + y, Rgb{uint8_t(sum[0] / 4), uint8_t(sum[1] / 4), uint8_t(sum[2] / 4)});
        }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: resgen_preview RESDIR OUTDIR\n");
        return 2;
    }
    std::string res = argv[1], out = argv[2];
    Image base, pointer, strip, layers[9];
    bool ok = load(base, res + "/scene-base.mbm") && load(pointer, res + "/pointer.mbm") &&
              load(strip, res + "/spinner.mbm");
    for (int i = 0; i < 9; ++i)
        ok = load(layers[i], res + "/layer-" + std::to_string(102 + i) + ".mbm") && ok;
    if (!ok || !openFonts())
        return 1;

    const int cellW = base.width / 2, cellH = base.height / 2 + 20, columns = 4;
    const int count = int(sizeof steps / sizeof steps[0]);
    const int rows = (count + columns - 1) / columns;
    Canvas sheet(columns * (cellW + 8) + 8, rows * (cellH + 8) + 8, Rgb{64, 68, 76});

    Image scene, frame;
    for (int i = 0; i < count; ++i) {
        const Step& s = steps[i];
        if (s.layer == 112)
            scene.assign(base);
        else if (s.layer)
            scene.overlay(layers[s.layer - 102], false);
        frame.assign(scene);
        frame.drawAt(pointer, s.x, s.y, false);
        if (s.spinner >= 0) {
            Image spin = spinnerFrame(strip, s.spinner, s.blue ? 0xDE773200u : 0xFCF8F400u);
            frame.drawAt(spin, 305, 398, false);
        }
        char name[64];
        std::snprintf(name, sizeof name, "/step-%03d.png", s.tick);
        ok = writePng(out + name, frame) && ok;

        int left = 8 + (i % columns) * (cellW + 8), top = 8 + (i / columns) * (cellH + 8);
        paintHalf(sheet, frame, left, top);
        drawText(sheet, Face::Regular, 12, left + 2, top + cellH - 5, s.caption, Rgb{235, 238, 242});
    }
    ok = writePng(out + "/contact-sheet.png", toImage(sheet)) && ok;
    closeFonts();
    return ok ? 0 : 1;
}
