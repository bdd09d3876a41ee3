#include "pack.h"

#include "tools/mbm/mbm_encode.h"

#include <png.h>

#include <cstdio>

Image toImage(const Canvas& c)
{
    Image image;
    if (image.allocate(c.width, c.height, 32, false) != 0)
        return image;
    for (size_t i = 0; i < size_t(c.width) * c.height; ++i) {
        const uint8_t* s = &c.rgba[i * 4];
        unsigned char* d = image.pixels + i * 4;
        d[0] = uint8_t(255 - s[3]);
        d[1] = s[0];
        d[2] = s[1];
        d[3] = s[2];
    }
    return image;
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "resgen: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "resgen: write to %s failed\n", path.c_str());
    return ok;
}

bool writeMbm(const std::string& path, const Image& image, int format, int compression)
{
    int status = 0;
    std::vector<unsigned char> bytes = encodeMbm(image, format, compression, &status);
    if (bytes.empty()) {
        std::fprintf(stderr, "resgen: cannot encode %s (status %d)\n", path.c_str(), status);
        return false;
    }
    return writeFile(path, bytes);
}

bool writePng(const std::string& path, const Image& image)
{
    if (image.bitsPerPixel != 24 && image.bitsPerPixel != 32)
        return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "resgen: cannot write %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<unsigned char> row(size_t(image.width) * 4);
    bool ok = png && info;
    // libpng reports errors by longjmp; nothing here owns C++ objects that
    // would need unwinding between setjmp and the calls below.
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGBA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        int bpp = image.bitsPerPixel / 8;
        for (int y = 0; y < image.height; ++y) {
            const unsigned char* s = image.pixels + size_t(y) * image.width * bpp;
            for (int x = 0; x < image.width; ++x, s += bpp) {
                unsigned char* d = &row[size_t(x) * 4];
                if (bpp == 4) {
                    d[0] = s[1], d[1] = s[2], d[2] = s[3], d[3] = uint8_t(255 - s[0]);
                } else {
                    d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
                }
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "resgen: PNG %s failed\n", path.c_str());
    return ok;
}
