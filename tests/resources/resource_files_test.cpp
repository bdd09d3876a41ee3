// Checks the committed resource files of the presentation against what the
// player relies on: picture ids, shapes, codes and colours at the places the
// script uses, the clips' formats and lengths, and the cursor and icon
// pieces. The pictures are decoded with the player's own decoder.
#include "image/image.h"
#include "presentation/res/resource_ids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> readRes(const std::string& name)
{
    std::vector<unsigned char> bytes;
    std::string path = std::string(KOR_RES_DIR) + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
    }
    return bytes;
}

Image loadPicture(const std::string& name)
{
    std::vector<unsigned char> bytes = readRes(name);
    Image image;
    EXPECT_EQ(image.loadMbm(bytes.empty() ? nullptr : bytes.data(), bytes.size()), 0) << name;
    return image;
}

struct Px {
    int t, r, g, b;
};

Px pixel(const Image& image, int x, int y)
{
    unsigned char p[4];
    image.pixelAt(x, y, p);
    return {p[0], p[1], p[2], p[3]};
}

unsigned le16(const std::vector<unsigned char>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t le32(const std::vector<unsigned char>& b, size_t at) { return le16(b, at) | uint32_t(le16(b, at + 2)) << 16; }

std::string layerFile(int id) { return "layer-" + std::to_string(id) + ".mbm"; }

const int sceneIds[] = {RES_MBM_LAYER_102, RES_MBM_LAYER_103, RES_MBM_LAYER_104, RES_MBM_LAYER_105, RES_MBM_LAYER_106,
                        RES_MBM_LAYER_107, RES_MBM_LAYER_108, RES_MBM_LAYER_109, RES_MBM_LAYER_110};

} // namespace

TEST(ResourcePictures, ShapesAndCodes)
{
    struct Case {
        std::string file;
        int width, height, depth, format, compression;
    };
    std::vector<Case> cases = {
        {"scene-base.mbm", 798, 600, 32, 5, 2},
        {"pointer.mbm", 18, 24, 32, 5, 2},
        {"spinner.mbm", 15, 450, 8, 2, 2},
        {"background.mbm", 4, 3, 24, 4, 0},
    };
    for (int id : sceneIds)
        cases.push_back({layerFile(id), 798, 600, 32, 5, 2});
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = readRes(c.file);
        ASSERT_GE(bytes.size(), 12u) << c.file;
        EXPECT_EQ(bytes[10], c.format) << c.file;
        EXPECT_EQ(bytes[11], c.compression) << c.file;
        Image image;
        ASSERT_EQ(image.loadMbm(bytes.data(), bytes.size()), 0) << c.file;
        EXPECT_EQ(image.width, c.width) << c.file;
        EXPECT_EQ(image.height, c.height) << c.file;
        EXPECT_EQ(image.bitsPerPixel, c.depth) << c.file;
    }
    // Fixed by the format: eight long runs of the transparent pixel, and 12
    // raw colours after the header.
    EXPECT_EQ(readRes(layerFile(102)).size(), 76u);
    EXPECT_EQ(readRes(layerFile(107)).size(), 76u);
    EXPECT_EQ(readRes("background.mbm").size(), 48u);
}

TEST(ResourcePictures, SceneIsOpaqueOrTransparentOnly)
{
    Image base = loadPicture("scene-base.mbm");
    for (int y = 0; y < base.height; ++y)
        for (int x = 0; x < base.width; ++x)
            ASSERT_EQ(pixel(base, x, y).t, 0) << "base picture not opaque at " << x << "," << y;
    for (int id : sceneIds) {
        Image layer = loadPicture(layerFile(id));
        int opaque = 0;
        for (int y = 0; y < layer.height; ++y)
            for (int x = 0; x < layer.width; ++x) {
                int t = pixel(layer, x, y).t;
                ASSERT_TRUE(t == 0 || t == 255) << "layer " << id << " T " << t << " at " << x << "," << y;
                opaque += t == 0;
            }
        bool empty = id == RES_MBM_LAYER_102 || id == RES_MBM_LAYER_107;
        EXPECT_EQ(opaque == 0, empty) << "layer " << id << " has " << opaque << " opaque pixels";
    }
}

// Opaque pixels of a layer must stay inside the region its step changes.
TEST(ResourcePictures, LayersStayInTheirRegions)
{
    struct Case {
        int id, x0, y0, x1, y1;
    };
    const Case cases[] = {
        {RES_MBM_LAYER_104, 303, 138, 434, 449}, // context menu and its shadow
        {RES_MBM_LAYER_105, 305, 398, 428, 415}, // highlight of the erase entry
        {RES_MBM_LAYER_108, 206, 208, 581, 393}, // progress window, and what it uncovers of the confirmation box
    };
    for (const Case& c : cases) {
        Image layer = loadPicture(layerFile(c.id));
        for (int y = 0; y < layer.height; ++y) {
            for (int x = 0; x < layer.width; ++x) {
                if (x < c.x0 || x > c.x1 || y < c.y0 || y > c.y1) {
                    ASSERT_EQ(pixel(layer, x, y).t, 255) << "layer " << c.id << " opaque at " << x << "," << y;
                }
            }
        }
    }
}

TEST(ResourcePictures, SpinnerBackdropsMatchTheMenu)
{
    // The player flattens the spinner on these two colours; the square it
    // draws at (305, 398) must vanish into the menu and the highlight.
    Image menu = loadPicture(layerFile(RES_MBM_LAYER_104));
    Image highlight = loadPicture(layerFile(RES_MBM_LAYER_105));
    for (int y = 398; y < 398 + 15; ++y)
        for (int x = 305; x < 305 + 15; ++x) {
            Px m = pixel(menu, x, y);
            ASSERT_TRUE(m.t == 0 && m.r == 244 && m.g == 248 && m.b == 252) << "layer 104 at " << x << "," << y;
            Px h = pixel(highlight, x, y);
            ASSERT_TRUE(h.t == 0 && h.r == 50 && h.g == 119 && h.b == 222) << "layer 105 at " << x << "," << y;
        }
    // The highlight covers the whole entry: every pixel opaque, and the
    // highlight colour along its left and right edges.
    for (int y = 398; y <= 415; ++y) {
        for (int x = 305; x <= 428; ++x)
            ASSERT_EQ(pixel(highlight, x, y).t, 0) << "highlight hole at " << x << "," << y;
        for (int x : {305, 428}) {
            Px h = pixel(highlight, x, y);
            EXPECT_TRUE(h.r == 50 && h.g == 119 && h.b == 222) << "highlight edge at " << x << "," << y;
        }
    }
}

// The pointer's stops land on what the story shows there.
TEST(ResourcePictures, PointerStopsLandOnTheirTargets)
{
    Image scene = loadPicture("scene-base.mbm");
    // At rest in the empty part of the list: the whole sprite box is list
    // background.
    for (int y = 278; y < 278 + 24; ++y)
        for (int x = 386; x < 386 + 18; ++x) {
            Px p = pixel(scene, x, y);
            ASSERT_TRUE(p.r == 255 && p.g == 255 && p.b == 255) << "rest spot not empty at " << x << "," << y;
        }
    struct Case {
        int id, x, y;
        const char* what;
    };
    const Case cases[] = {
        {RES_MBM_LAYER_103, 303, 138, "first document's selection"},
        {RES_MBM_LAYER_105, 366, 405, "highlighted erase entry"},
        {RES_MBM_LAYER_106, 343, 351, "Yes button of the confirmation box"},
    };
    for (const Case& c : cases) {
        Image layer = loadPicture(layerFile(c.id));
        EXPECT_EQ(pixel(layer, c.x, c.y).t, 0) << c.what << ": layer " << c.id << " does not change the spot";
    }
    // Yes: a light button face around the pointer's tip, from column 322 to
    // 392 (the button spans 320 to 394), and not the No button further right.
    Image confirm = loadPicture(layerFile(RES_MBM_LAYER_106));
    for (int x = 323; x <= 333; ++x) {
        Px p = pixel(confirm, x, 351);
        EXPECT_TRUE(p.t == 0 && p.r > 190 && p.g > 190 && p.b > 190) << "Yes face at " << x;
    }
    // The first document's name lies under the tip on row 138: the selection
    // spans from column 219 to past 303.
    Image selection = loadPicture(layerFile(RES_MBM_LAYER_103));
    for (int x = 219; x <= 303; ++x)
        ASSERT_EQ(pixel(selection, x, 132).t, 0) << "selection gap at " << x;
}

TEST(ResourcePictures, CloseBoxIsTheTitleBarButton)
{
    // The click area is columns 748 to 788 and rows 1 to 17: the button's
    // border lies on those edges, the title bar just outside them.
    Image base = loadPicture("scene-base.mbm");
    auto same = [](Px a, Px b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
    for (int y = 3; y <= 15; ++y) {
        EXPECT_FALSE(same(pixel(base, 747, y), pixel(base, 748, y))) << "left edge, row " << y;
        EXPECT_FALSE(same(pixel(base, 788, y), pixel(base, 789, y))) << "right edge, row " << y;
        EXPECT_TRUE(same(pixel(base, 789, y), pixel(base, 797, y))) << "title bar right of the button, row " << y;
    }
    for (int x = 750; x <= 786; ++x) {
        EXPECT_FALSE(same(pixel(base, x, 0), pixel(base, x, 1))) << "top edge, column " << x;
        EXPECT_FALSE(same(pixel(base, x, 17), pixel(base, x, 18))) << "bottom edge, column " << x;
    }
    // The button is red while the window is active: its face is redder than
    // the blue title bar.
    Px face = pixel(base, 768, 12);
    EXPECT_GT(face.r, face.b + 60);
}

TEST(ResourcePictures, SpinnerStrip)
{
    Image strip = loadPicture("spinner.mbm");
    ASSERT_EQ(strip.bitsPerPixel, 8);
    ASSERT_NE(strip.palette, nullptr);
    ASSERT_EQ(strip.height, 30 * strip.width);
    const unsigned char* ground = strip.palette + 254 * 4;
    EXPECT_EQ(ground[0], 255) << "index 254 must be fully transparent";
    // The entries in use are red, more transparent the higher the index.
    int lastT = -1;
    for (int i = 0; i < 254; ++i) {
        const unsigned char* e = strip.palette + i * 4;
        EXPECT_GT(e[1], 150) << "entry " << i;
        EXPECT_LT(e[2], 80) << "entry " << i;
        EXPECT_LT(e[3], 80) << "entry " << i;
        EXPECT_GE(e[0], lastT) << "entry " << i;
        lastT = e[0];
    }
    EXPECT_EQ(strip.palette[0], 0) << "entry 0 is the opaque dot colour";
    // Every frame shows dots on the ground; consecutive frames differ by
    // about the same amount all the way round, frame 29 to frame 0 included,
    // so the loop has no jump.
    const int w = strip.width, area = w * w;
    auto frame = [&](int k) { return strip.pixels + size_t(k) * area; };
    std::vector<double> steps;
    for (int k = 0; k < 30; ++k) {
        int ground = 0, ink = 0;
        for (int i = 0; i < area; ++i) {
            ground += frame(k)[i] == 254;
            ink += frame(k)[i] < 64;
        }
        EXPECT_GT(ground, area / 2) << "frame " << k;
        EXPECT_GT(ink, 8) << "frame " << k;
        double diff = 0;
        for (int i = 0; i < area; ++i) {
            auto opacity = [&](int index) { return 255 - strip.palette[index * 4]; };
            diff += std::abs(opacity(frame(k)[i]) - opacity(frame((k + 1) % 30)[i]));
        }
        steps.push_back(diff);
    }
    double lo = steps[0], hi = steps[0];
    for (double d : steps)
        lo = std::min(lo, d), hi = std::max(hi, d);
    EXPECT_GT(lo, 0) << "two consecutive frames are equal";
    EXPECT_LT(hi, lo * 1.6) << "uneven step in the turn: " << lo << " to " << hi;
}

TEST(ResourcePictures, BackgroundColoursAndPointer)
{
    Image background = loadPicture("background.mbm");
    const int colours[3][4][3] = {
        {{255, 194, 14}, {237, 28, 36}, {245, 228, 156}, {153, 0, 48}},
        {{255, 242, 0}, {255, 126, 0}, {255, 249, 189}, {0, 183, 239}},
        {{229, 170, 122}, {255, 163, 177}, {168, 230, 29}, {111, 49, 152}},
    };
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            Px p = pixel(background, x, y);
            EXPECT_TRUE(p.r == colours[y][x][0] && p.g == colours[y][x][1] && p.b == colours[y][x][2])
                << "background colour at column " << x << ", row " << y;
        }

    Image pointer = loadPicture("pointer.mbm");
    Px tip = pixel(pointer, 0, 0);
    EXPECT_TRUE(tip.t == 0 && tip.r == 0 && tip.g == 0 && tip.b == 0) << "tip is not the black outline";
    Px body = pixel(pointer, 2, 6);
    EXPECT_TRUE(body.t == 0 && body.r == 255 && body.g == 255 && body.b == 255) << "no white body";
    int shadow = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 18; ++x) {
            Px p = pixel(pointer, x, y);
            shadow += p.t > 0 && p.t < 255 && p.r == 0 && p.g == 0 && p.b == 0;
        }
    EXPECT_GT(shadow, 20) << "no soft shadow";
    EXPECT_EQ(pixel(pointer, 17, 0).t, 255) << "top-right corner must be clear";
}

TEST(ResourceClips, Headers)
{
    struct Case {
        const char* file;
        int id, tag, channels, rate, bits;
        double seconds;
    };
    const Case cases[] = {
        {"show.wav", RES_WAVE_SHOW, 7, 1, 22050, 8, 0.05},
        {"select.wav", RES_WAVE_SELECT, 1, 1, 44100, 16, 0.18},
        {"prompt.wav", RES_WAVE_PROMPT, 1, 1, 44100, 16, 0.30},
        {"busy.wav", RES_WAVE_BUSY, 1, 1, 44100, 16, 0.25},
        {"close.wav", RES_WAVE_CLOSE, 7, 2, 22050, 8, 0.02},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> b = readRes(c.file);
        ASSERT_GE(b.size(), 44u) << c.file;
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF") << c.file;
        EXPECT_EQ(le32(b, 4), b.size() - 8) << c.file << ": RIFF size";
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE") << c.file;
        // Walk the chunks: fmt, (fact), data.
        size_t at = 12;
        uint32_t frames = 0, factFrames = 0, dataAt = 0, dataSize = 0;
        bool haveFmt = false, haveFact = false;
        while (at + 8 <= b.size()) {
            std::string tag(b.begin() + at, b.begin() + at + 4);
            uint32_t size = le32(b, at + 4);
            ASSERT_LE(at + 8 + size, b.size()) << c.file << ": chunk " << tag << " past the end";
            if (tag == "fmt ") {
                haveFmt = true;
                EXPECT_EQ(le16(b, at + 8), unsigned(c.tag)) << c.file << ": format tag";
                EXPECT_EQ(le16(b, at + 10), unsigned(c.channels)) << c.file << ": channels";
                EXPECT_EQ(le32(b, at + 12), uint32_t(c.rate)) << c.file << ": rate";
                EXPECT_EQ(le32(b, at + 16), uint32_t(c.rate * c.channels * c.bits / 8)) << c.file << ": byte rate";
                EXPECT_EQ(le16(b, at + 20), unsigned(c.channels * c.bits / 8)) << c.file << ": block align";
                EXPECT_EQ(le16(b, at + 22), unsigned(c.bits)) << c.file << ": bits";
            } else if (tag == "fact") {
                haveFact = true;
                factFrames = le32(b, at + 8);
            } else if (tag == "data") {
                dataAt = uint32_t(at + 8);
                dataSize = size;
            }
            at += 8 + size + (size & 1);
        }
        ASSERT_TRUE(haveFmt && dataAt) << c.file;
        frames = dataSize / (c.channels * c.bits / 8);
        EXPECT_EQ(frames, uint32_t(std::lround(c.seconds * c.rate))) << c.file << ": length";
        if (c.tag == 7) {
            EXPECT_TRUE(haveFact && factFrames == frames) << c.file << ": fact chunk";
        }

        // Audible, and starting and ending at rest so that playback does not
        // click. Mu-law codes 0xFF and 0x7F are the two zeros.
        auto level = [&](uint32_t i) {
            if (c.bits == 16)
                return std::abs(int(int16_t(le16(b, dataAt + 2 * i))));
            int code = ~b[dataAt + i] & 0xFF, exponent = (code >> 4) & 7, mantissa = code & 15;
            return (((mantissa << 3) + 0x84) << exponent) - 0x84;
        };
        uint32_t samples = frames * c.channels;
        int peak = 0;
        for (uint32_t i = 0; i < samples; ++i)
            peak = std::max(peak, level(i));
        EXPECT_GT(peak, 4000) << c.file << ": too quiet";
        EXPECT_LT(peak, 32000) << c.file << ": clipped";
        EXPECT_LT(level(0), 600) << c.file << ": starts with a click";
        EXPECT_LT(level(samples - 1), 600) << c.file << ": ends with a click";
    }
}

TEST(ResourceCursorIcon, Pieces)
{
    std::vector<unsigned char> group = readRes("cursor-group-111.bin");
    std::vector<unsigned char> cursor = readRes("cursor-1.bin");
    ASSERT_EQ(group.size(), 20u);
    EXPECT_EQ(le16(group, 2), 2u) << "group type cursor";
    EXPECT_EQ(le16(group, 4), 1u) << "one cursor";
    EXPECT_EQ(le16(group, 6), 32u);
    EXPECT_EQ(le16(group, 8), 64u);
    EXPECT_EQ(le16(group, 10), 1u);
    EXPECT_EQ(le16(group, 12), 1u) << "1 bit per pixel";
    EXPECT_EQ(le32(group, 14), cursor.size());
    EXPECT_EQ(le16(group, 18), unsigned(RES_CURSOR_ARROW_IMAGE));
    ASSERT_EQ(cursor.size(), 4u + 40 + 8 + 128 + 128);
    EXPECT_EQ(le16(cursor, 0), 0u) << "hot spot x";
    EXPECT_EQ(le16(cursor, 2), 0u) << "hot spot y";
    EXPECT_EQ(le32(cursor, 4), 40u);
    EXPECT_EQ(le32(cursor, 8), 32u);
    EXPECT_EQ(le32(cursor, 12), 64u);
    EXPECT_EQ(le16(cursor, 18), 1u);
    const size_t xorAt = 4 + 40 + 8, andAt = xorAt + 128;
    for (size_t i = andAt; i < andAt + 128; ++i)
        ASSERT_EQ(cursor[i], 0xFF) << "AND mask byte " << i - andAt;
    // Rows are stored bottom-up: picture row y is stored row 31 - y.
    auto xorBit = [&](int x, int y) { return (cursor[xorAt + size_t(31 - y) * 4 + x / 8] >> (7 - x % 8)) & 1; };
    EXPECT_EQ(xorBit(1, 1), 1) << "tip of the outline at (1, 1)";
    EXPECT_EQ(xorBit(0, 0), 0);
    EXPECT_EQ(xorBit(0, 1), 0);
    EXPECT_EQ(xorBit(1, 0), 0);
    int set = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            set += xorBit(x, y);
    EXPECT_GT(set, 30) << "outline too small";
    EXPECT_EQ(xorBit(4, 8), 0) << "inside of the arrow must be clear (outline only)";

    std::vector<unsigned char> igroup = readRes("icon-group-113.bin");
    std::vector<unsigned char> icon = readRes("icon-2.bin");
    ASSERT_EQ(igroup.size(), 20u);
    EXPECT_EQ(le16(igroup, 2), 1u) << "group type icon";
    EXPECT_EQ(le16(igroup, 4), 1u) << "one icon";
    EXPECT_EQ(igroup[6], 16);
    EXPECT_EQ(igroup[7], 16);
    EXPECT_EQ(le16(igroup, 12), 32u) << "32 bits per pixel";
    EXPECT_EQ(le32(igroup, 14), icon.size());
    EXPECT_EQ(le16(igroup, 18), unsigned(RES_ICON_APP_IMAGE));
    ASSERT_EQ(icon.size(), 40u + 16 * 16 * 4 + 16 * 4);
    EXPECT_EQ(le32(icon, 4), 16u);
    EXPECT_EQ(le32(icon, 8), 32u);
    EXPECT_EQ(le16(icon, 14), 32u);
    int opaque = 0;
    for (int i = 0; i < 256; ++i)
        opaque += icon[40 + i * 4 + 3] == 255;
    EXPECT_GT(opaque, 64) << "icon nearly empty";
    EXPECT_LT(opaque, 256) << "icon has no transparent pixels";
}
