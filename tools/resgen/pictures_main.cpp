// resgen_pictures OUTDIR [PREVIEWDIR]
//
// Draws the thirteen pictures of the presentation and writes them as MBM
// resources into OUTDIR. The scene is drawn in full for each state of the
// story; each layer holds, fully opaque, exactly the pixels in which a state
// differs from the one before, and is fully transparent elsewhere. With
// PREVIEWDIR the full states are also written as PNG files.
#include "layout.h"
#include "pack.h"
#include "scene.h"
#include "sprites.h"
#include "text.h"

#include <cstdio>
#include <string>

namespace {

// Layer of the pixels that differ between two opaque states.
Image difference(const Canvas& before, const Canvas& after)
{
    Image layer;
    layer.allocate(after.width, after.height, 32, false);
    for (int y = 0; y < after.height; ++y)
        for (int x = 0; x < after.width; ++x) {
            unsigned char* d = layer.pixels + (size_t(y) * after.width + x) * 4;
            Rgb a = after.at(x, y);
            if (a != before.at(x, y)) {
                d[0] = 0, d[1] = a.r, d[2] = a.g, d[3] = a.b;
            } else {
                d[0] = 255, d[1] = d[2] = d[3] = 0;
            }
        }
    return layer;
}

Canvas browser(const BrowserState& s)
{
    Canvas c(layout::sceneWidth, layout::sceneHeight, Rgb{255, 255, 255});
    drawBrowser(c, s);
    return c;
}

struct State {
    const char* name;
    Canvas picture;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: resgen_pictures OUTDIR [PREVIEWDIR]\n");
        return 2;
    }
    std::string out = argv[1], preview = argc > 2 ? argv[2] : "";
    if (!openFonts())
        return 1;

    BrowserState plain, selected, inactive, gone;
    selected.firstSelected = true;
    inactive.firstSelected = true;
    inactive.active = false;
    gone.firstGone = true;

    Canvas base = browser(plain);
    Canvas withSelection = browser(selected);
    Canvas withMenu = withSelection;
    drawContextMenu(withMenu, false);
    Canvas withHighlight = withSelection;
    drawContextMenu(withHighlight, true);
    Canvas withConfirm = browser(inactive);
    drawConfirmBox(withConfirm);
    Canvas withProgress = browser(inactive);
    drawProgressWindow(withProgress);
    Canvas afterProgress = browser(inactive);
    Canvas done = browser(gone);

    // Layer id, the state before it and the state it brings. 102 and 107
    // change nothing: the script lays them at steps that only move on.
    struct Layer {
        int id;
        const Canvas* before;
        const Canvas* after;
    };
    const Layer layers[] = {
        {102, &base, &base},
        {103, &base, &withSelection},
        {104, &withSelection, &withMenu},
        {105, &withMenu, &withHighlight},
        {106, &withHighlight, &withConfirm},
        {107, &withConfirm, &withConfirm},
        {108, &withConfirm, &withProgress},
        {109, &withProgress, &afterProgress},
        {110, &afterProgress, &done},
    };

    bool ok = writeMbm(out + "/scene-base.mbm", toImage(base), 5, 2);
    for (const Layer& l : layers)
        ok = writeMbm(out + "/layer-" + std::to_string(l.id) + ".mbm", difference(*l.before, *l.after), 5, 2) && ok;
    ok = writeMbm(out + "/pointer.mbm", makePointer(), 5, 2) && ok;
    ok = writeMbm(out + "/spinner.mbm", makeSpinner(), 2, 2) && ok;
    ok = writeMbm(out + "/background.mbm", makeBackground(), 4, 0) && ok;

    if (!preview.empty()) {
        const State states[] = {
            {"state-1-base", base}, {"state-2-selected", withSelection}, {"state-3-menu", withMenu},
            {"state-4-highlight", withHighlight}, {"state-5-confirm", withConfirm},
            {"state-6-progress", withProgress}, {"state-7-after-progress", afterProgress}, {"state-8-done", done},
        };
        for (const State& s : states)
            ok = writePng(preview + "/" + s.name + ".png", toImage(s.picture)) && ok;
    }
    closeFonts();
    return ok ? 0 : 1;
}
