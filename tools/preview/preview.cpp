// Plays the presentation's timeline with the committed pictures, off screen,
// and writes what the window would show after every tick that repaints.
//
//   presentation_preview OUTDIR [--speed 1|2] [--margin PIXELS] [--raw]
//                        [--brush WIDTH HEIGHT] [--res DIR] [--without ID]...
//
// OUTDIR/frame-TTTT.ppm   the picture centred on the window's gradient
//                         background, MARGIN pixels of it on each side
//                         (default 40), for each tick TTTT that repaints, and
//                         for tick 0 (background alone)
// OUTDIR/frames.txt       one line per picture: "tick file", then a last line
//                         "end TICK", the tick of the end question
// OUTDIR/frame-TTTT.pam   with --raw also the bare frame, RGB_ALPHA (alpha is
//                         the opacity, 255 - T), for pixel comparisons
// OUTDIR/brush.ppm        with --brush, the window's background pattern for a
//                         full-screen client size of WIDTH x HEIGHT
//
// --res names the folder of the resource files (default: the source tree's
// presentation/res), so that the Windows build can run under Wine too.
// --without ID leaves the picture of MBM resource ID empty, as when the
// program fails to load it.

// The timeline, the player state and the image library are the program's own;
// only the platform effects are replaced: a repaint marks the tick, the end
// question is answered No.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "presentation/effects.h"
#include "presentation/layout.h"
#include "presentation/player.h"
#include "presentation/timeline.h"
#include "presentation/res/resource_ids.h"
#include "resource_files.h"

namespace {

bool repainted = false;
bool asked = false;

bool writeFile(const std::string &path, const std::string &header, const std::vector<unsigned char> &body) {
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char *>(body.data()), static_cast<std::streamsize>(body.size()));
  return static_cast<bool>(out);
}

// The frame blended over the background as the window's AlphaBlend does it.
std::vector<unsigned char> composeOnBackground(const Image &background) {
  const int w = background.width;
  const int h = background.height;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char pixel[4];
      background.pixelAt(x, y, pixel);
      std::memcpy(&rgb[(static_cast<size_t>(y) * w + x) * 3], pixel + 1, 3);
    }
  if (!framePicture.pixels || framePicture.bitsPerPixel != 32)
    return rgb;
  const PictureOffset at = centredOffset(w, h, framePicture.width, framePicture.height);
  for (int y = 0; y < framePicture.height; ++y)
    for (int x = 0; x < framePicture.width; ++x) {
      const int cx = at.x + x;
      const int cy = at.y + y;
      if (cx < 0 || cy < 0 || cx >= w || cy >= h)
        continue;
      const unsigned char *p = framePicture.pixels + (static_cast<size_t>(y) * framePicture.width + x) * 4;
      unsigned char *d = &rgb[(static_cast<size_t>(cy) * w + cx) * 3];
      const int a = 255 - p[0];
      for (int c = 0; c < 3; ++c)
        d[c] = static_cast<unsigned char>(p[1 + c] * a / 255 + d[c] * (255 - a) / 255);
    }
  return rgb;
}

std::vector<unsigned char> rawFrame() {
  std::vector<unsigned char> rgba;
  const size_t count = static_cast<size_t>(framePicture.width) * framePicture.height;
  rgba.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(&rgba[i * 4], framePicture.pixels + i * 4 + 1, 3);
    rgba[i * 4 + 3] = static_cast<unsigned char>(255 - framePicture.pixels[i * 4]);
  }
  return rgba;
}

} // namespace

void requestRepaint(bool) { repainted = true; }
void parkRealPointer() {}
void playClip(int) {}
bool askReplayInSlowMotion() {
  asked = true;
  return false;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: presentation_preview OUTDIR [--speed 1|2] [--margin PIXELS] [--raw]\n");
    return 2;
  }
  const std::string out = argv[1];
  int speed = 1;
  int margin = 40;
  bool raw = false;
  int brushWidth = 0;
  int brushHeight = 0;
  std::string resDir = KOR_SOURCE_DIR "/presentation/res";
  std::vector<int> without;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--speed") && i + 1 < argc)
      speed = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--margin") && i + 1 < argc)
      margin = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--raw"))
      raw = true;
    else if (!std::strcmp(argv[i], "--res") && i + 1 < argc)
      resDir = argv[++i];
    else if (!std::strcmp(argv[i], "--without") && i + 1 < argc)
      without.push_back(std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--brush") && i + 2 < argc) {
      brushWidth = std::atoi(argv[++i]);
      brushHeight = std::atoi(argv[++i]);
    }
  }
  if (speed != 1 && speed != 2)
    speed = 1;

  std::string error;
  if (!loadPlayerPictures(resDir, error))
    std::fprintf(stderr, "warning: %s\n", error.c_str());
  for (const PictureSource &source : pictureSources)
    for (int id : without)
      if (source.resourceId == id)
        source.picture->clear();
  Image background;
  const int width = basePicture.width + 2 * margin;
  const int height = basePicture.height + 2 * margin;
  if (loadMbmResource(resDir, RES_MBM_BACKGROUND, background, error) != 0 || width < 1 ||
      height < 1 || background.resample(width, height) != 0) {
    std::fprintf(stderr, "cannot make the background: %s\n", error.c_str());
    return 1;
  }

  if (brushWidth > 0 && brushHeight > 0) {
    // Stretched as the window stretches it; the result is opaque.
    Image brush;
    if (loadMbmResource(resDir, RES_MBM_BACKGROUND, brush, error) != 0 ||
        brush.resample(brushWidth, brushHeight) != 0) {
      std::fprintf(stderr, "cannot make the brush: %s\n", error.c_str());
      return 1;
    }
    std::vector<unsigned char> rgb(static_cast<size_t>(brushWidth) * brushHeight * 3);
    for (int y = 0; y < brushHeight; ++y)
      for (int x = 0; x < brushWidth; ++x) {
        unsigned char pixel[4];
        brush.pixelAt(x, y, pixel);
        std::memcpy(&rgb[(static_cast<size_t>(y) * brushWidth + x) * 3], pixel + 1, 3);
      }
    const std::string header =
        "P6\n" + std::to_string(brushWidth) + " " + std::to_string(brushHeight) + "\n255\n";
    if (!writeFile(out + "/brush.ppm", header, rgb)) {
      std::fprintf(stderr, "cannot write into %s\n", out.c_str());
      return 1;
    }
  }

  std::ofstream list(out + "/frames.txt");
  slowFactor = speed;
  tick = 0;
  int written = 0;
  for (int step = 0; !asked && step < 1000; ++step) {
    const int n = tick;
    repainted = n == 0;
    onTimelineTick();
    if (!repainted || asked)
      continue;
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04d", n);
    const std::vector<unsigned char> rgb = composeOnBackground(background);
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    if (!writeFile(out + "/" + name + ".ppm", header, rgb)) {
      std::fprintf(stderr, "cannot write into %s\n", out.c_str());
      return 1;
    }
    if (raw && framePicture.pixels) {
      const std::string pam = "P7\nWIDTH " + std::to_string(framePicture.width) + "\nHEIGHT " +
                              std::to_string(framePicture.height) +
                              "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
      writeFile(out + "/" + name + ".pam", pam, rawFrame());
    }
    list << n << " " << name << ".ppm\n";
    ++written;
  }
  list << "end " << 155 * speed << "\n";
  std::printf("%d pictures in %s\n", written, out.c_str());
  return 0;
}
