// mbm_tool: the MBM encoder and decoder from the command line.
//
//   mbm_tool info FILE...                         shape of each picture, or its result code
//   mbm_tool encode FORMAT COMPRESSION IN OUT     a PBM/PGM/PPM/PAM picture (binary forms)
//                                                 to MBM
//   mbm_tool decode IN OUT.pam                    an MBM picture to a PAM (RGB_ALPHA)
//   mbm_tool sample FORMAT COMPRESSION W H OUT    a patterned test picture
//
// Pictures come in as netpbm files because every image tool writes them
// (ImageMagick: convert in.png -depth 8 out.pam). Alpha becomes transparency
// (T = 255 - alpha). Formats 0 and 2 get a palette of the picture's distinct
// colours (at most 2 or 256); format 1 takes black (set) and white (clear)
// pixels; format 3 takes greys, stored so that they show as the same grey
// (the value v of a palette-less picture is drawn as 255 - v); format 4 takes
// opaque pictures.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "tools/mbm/mbm_encode.h"

namespace {

using Bytes = std::vector<unsigned char>;

bool readFile(const char* path, Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool writeFile(const char* path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// A netpbm picture as width x height pixels of T, R, G, B.
struct Picture {
  int width = 0, height = 0;
  Bytes pixels;
};

// Reads the next header token, skipping white space and comments.
std::string token(const Bytes& data, size_t& at) {
  while (at < data.size()) {
    if (data[at] == '#') {
      while (at < data.size() && data[at] != '\n') ++at;
    } else if (std::isspace(data[at])) {
      ++at;
    } else {
      break;
    }
  }
  std::string out;
  while (at < data.size() && !std::isspace(data[at])) out += static_cast<char>(data[at++]);
  return out;
}

bool readNetpbm(const Bytes& data, Picture& picture, std::string& error) {
  size_t at = 0;
  std::string magic = token(data, at);
  int depth = 0, maxval = 255;
  if (magic == "P4" || magic == "P5" || magic == "P6") {
    picture.width = std::atoi(token(data, at).c_str());
    picture.height = std::atoi(token(data, at).c_str());
    if (magic != "P4") maxval = std::atoi(token(data, at).c_str());
    depth = magic == "P6" ? 3 : 1;
  } else if (magic == "P7") {
    for (std::string key = token(data, at); key != "ENDHDR" && !key.empty(); key = token(data, at)) {
      std::string value = token(data, at);
      if (key == "WIDTH") picture.width = std::atoi(value.c_str());
      else if (key == "HEIGHT") picture.height = std::atoi(value.c_str());
      else if (key == "DEPTH") depth = std::atoi(value.c_str());
      else if (key == "MAXVAL") maxval = std::atoi(value.c_str());
    }
  } else {
    error = "not a binary PBM, PGM, PPM or PAM file";
    return false;
  }
  ++at;  // the single white-space byte before the raster
  if (picture.width <= 0 || picture.height <= 0 || maxval != 255 || depth < 1 || depth > 4) {
    error = "unsupported size, depth or maximum value (8-bit samples only)";
    return false;
  }
  size_t count = size_t(picture.width) * size_t(picture.height);
  size_t row = magic == "P4" ? (size_t(picture.width) + 7) / 8 : size_t(picture.width) * size_t(depth);
  if (data.size() < at || data.size() - at < row * size_t(picture.height)) {
    error = "the raster is cut short";
    return false;
  }
  picture.pixels.assign(4 * count, 0);
  for (size_t p = 0; p < count; ++p) {
    size_t x = p % size_t(picture.width), y = p / size_t(picture.width);
    unsigned char* out = &picture.pixels[4 * p];
    if (magic == "P4") {
      bool black = data[at + y * row + x / 8] & (0x80 >> (x % 8));
      out[1] = out[2] = out[3] = black ? 0 : 255;
      continue;
    }
    const unsigned char* in = &data[at + y * row + x * size_t(depth)];
    bool colour = depth >= 3;
    out[1] = in[0];
    out[2] = colour ? in[1] : in[0];
    out[3] = colour ? in[2] : in[0];
    bool alpha = depth == 2 || depth == 4;
    out[0] = alpha ? static_cast<unsigned char>(255 - in[depth - 1]) : 0;
  }
  return true;
}

// The Image a format takes, made from the picture; false with a reason.
bool imageForFormat(const Picture& picture, int format, Image& image, std::string& error) {
  size_t count = size_t(picture.width) * size_t(picture.height);
  const int depths[] = {1, 1, 8, 8, 24, 32};
  if (format < 0 || format > 5) {
    error = "format must be 0 to 5";
    return false;
  }
  if (image.allocate(picture.width, picture.height, depths[format], format == 0 || format == 2) != 0) {
    error = "picture too large";
    return false;
  }
  std::map<uint32_t, unsigned> index;
  for (size_t p = 0; p < count; ++p) {
    const unsigned char* px = &picture.pixels[4 * p];
    uint32_t key = uint32_t(px[0]) << 24 | uint32_t(px[1]) << 16 | uint32_t(px[2]) << 8 | px[3];
    size_t x = p % size_t(picture.width), y = p / size_t(picture.width);
    switch (format) {
      case 0:
      case 2: {
        auto found = index.find(key);
        unsigned i = found == index.end() ? unsigned(index.size()) : found->second;
        if (found == index.end()) {
          if (i >= (format == 0 ? 2u : 256u)) {
            error = format == 0 ? "more than 2 colours" : "more than 256 colours";
            return false;
          }
          index[key] = i;
          std::memcpy(image.palette + 4 * i, px, 4);
        }
        if (format == 2) image.pixels[p] = static_cast<unsigned char>(i);
        else if (i) image.pixels[y * image.rowBytes() + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        break;
      }
      case 1: {
        bool black = px[0] == 0 && px[1] == 0 && px[2] == 0 && px[3] == 0;
        bool white = px[0] == 0 && px[1] == 255 && px[2] == 255 && px[3] == 255;
        if (!black && !white) {
          error = "format 1 takes only opaque black and white";
          return false;
        }
        if (black) image.pixels[y * image.rowBytes() + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        break;
      }
      case 3:
        if (px[0] != 0 || px[1] != px[2] || px[2] != px[3]) {
          error = "format 3 takes only opaque greys";
          return false;
        }
        image.pixels[p] = static_cast<unsigned char>(255 - px[1]);
        break;
      case 4:
        if (px[0] != 0) {
          error = "format 4 takes only opaque pictures";
          return false;
        }
        std::memcpy(image.pixels + 3 * p, px + 1, 3);
        break;
      case 5:
        std::memcpy(image.pixels + 4 * p, px, 4);
        break;
    }
  }
  return true;
}

// A patterned picture: blocks of equal pixels (runs for the codings to find),
// a gradient, and in 32 bits every degree of transparency. Index values stay
// below 0x80, so every 8-bit compression can store them.
Image samplePicture(int format, int width, int height) {
  const int depths[] = {1, 1, 8, 8, 24, 32};
  Image image;
  if (format < 0 || format > 5 || image.allocate(width, height, depths[format], format == 0 || format == 2) != 0)
    return image;
  if (image.palette)
    for (size_t i = 0; i < image.paletteBytes(); ++i)
      image.palette[i] = static_cast<unsigned char>(i % 4 == 0 ? (i / 4) % 3 * 127 : i * 37);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      size_t p = size_t(y) * size_t(width) + size_t(x);
      unsigned block = unsigned(x / 4 + y / 3);
      switch (image.bitsPerPixel) {
        case 1:
          if (block % 2) image.pixels[size_t(y) * image.rowBytes() + size_t(x) / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
          break;
        case 8: image.pixels[p] = static_cast<unsigned char>(block % 0x80); break;
        case 24:
        case 32: {
          size_t size = size_t(image.bitsPerPixel / 8);
          unsigned char* px = image.pixels + p * size;
          unsigned char rgb[3] = {static_cast<unsigned char>(x / 4 * 50),
                                  static_cast<unsigned char>(block * 40), static_cast<unsigned char>(y * 7)};
          if (size == 4) *px++ = static_cast<unsigned char>((block % 3) * 127 + (block % 3 == 2));
          std::memcpy(px, rgb, 3);
          break;
        }
      }
    }
  return image;
}

int encodeAndWrite(const Image& image, int format, int compression, const char* path) {
  int status = 0;
  Bytes out = encodeMbm(image, format, compression, &status);
  if (status != MbmEncoded) {
    const char* why[] = {"", "format/compression not accepted", "picture does not fit the format",
                         "a value this compression cannot store"};
    std::fprintf(stderr, "mbm_tool: cannot encode: %s\n", why[status]);
    return 1;
  }
  if (!writeFile(path, out)) {
    std::fprintf(stderr, "mbm_tool: cannot write %s\n", path);
    return 1;
  }
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: mbm_tool info FILE...\n"
               "       mbm_tool encode FORMAT COMPRESSION IN.pnm|IN.pam OUT.mbm\n"
               "       mbm_tool decode IN.mbm OUT.pam\n"
               "       mbm_tool sample FORMAT COMPRESSION WIDTH HEIGHT OUT.mbm\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::string command = argv[1];
  if (command == "info" && argc >= 3) {
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
      Bytes data;
      Image image;
      int result = readFile(argv[i], data) ? image.loadMbm(data.data(), data.size()) : -1;
      if (result == 0) {
        std::printf("%s: %d x %d, %d bits per pixel%s, %zu bytes\n", argv[i], image.width, image.height,
                    image.bitsPerPixel, image.palette ? ", palette" : "", data.size());
      } else {
        std::printf("%s: result %d\n", argv[i], result);
        failed = 1;
      }
    }
    return failed;
  }
  if (command == "encode" && argc == 6) {
    Bytes data;
    Picture picture;
    std::string error;
    Image image;
    if (!readFile(argv[4], data)) error = "cannot read the input";
    else if (readNetpbm(data, picture, error)) imageForFormat(picture, std::atoi(argv[2]), image, error);
    if (!error.empty()) {
      std::fprintf(stderr, "mbm_tool: %s: %s\n", argv[4], error.c_str());
      return 1;
    }
    return encodeAndWrite(image, std::atoi(argv[2]), std::atoi(argv[3]), argv[5]);
  }
  if (command == "decode" && argc == 4) {
    Bytes data;
    Image image;
    int result = readFile(argv[2], data) ? image.loadMbm(data.data(), data.size()) : -1;
    if (result != 0) {
      std::fprintf(stderr, "mbm_tool: %s: result %d\n", argv[2], result);
      return 1;
    }
    std::ostringstream header;
    header << "P7\nWIDTH " << image.width << "\nHEIGHT " << image.height
           << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::string text = header.str();
    Bytes out(text.begin(), text.end());
    unsigned char px[4];
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) {
        image.pixelAt(x, y, px);
        out.insert(out.end(), {px[1], px[2], px[3], static_cast<unsigned char>(255 - px[0])});
      }
    return writeFile(argv[3], out) ? 0 : 1;
  }
  if (command == "sample" && argc == 7) {
    Image image = samplePicture(std::atoi(argv[2]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (!image.pixels) {
      std::fprintf(stderr, "mbm_tool: bad format or size\n");
      return 1;
    }
    return encodeAndWrite(image, std::atoi(argv[2]), std::atoi(argv[3]), argv[6]);
  }
  return usage();
}
