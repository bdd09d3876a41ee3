// The resampler: two separable passes (rows, then columns) of piecewise
// polynomial interpolation, weighted by opacity, with five-fold supersampling
// and box averaging where a dimension shrinks below three quarters.
//
// Speed without changing a bit of the result. Where a sample falls depends
// only on its index, so each pass works out once which segment and fraction
// every sample has (LinePlan). The coefficients of a segment depend only on
// the line's pixels, so each line fits each segment it uses once and keeps
// the coefficients (the same fit of the same integers gives the same doubles
// as fitting again per sample). The per-sample work that is left is exactly
// the evaluation, division and rounding the results are defined by, in the
// same order. Parabolas and lines are evaluated as cubics with leading zero
// coefficients: (0 * f + b) is b exactly, so that is the same arithmetic.
//
// Working memory comes from imageAlloc; every buffer is taken before the
// record is emptied, so the only failure that can leave the record without
// its pixels is the final store itself.
#include <cmath>
#include <cstring>

#include "alloc.h"
#include "image.h"
#include "image_size.h"

namespace {

// A buffer from imageAlloc, freed on every way out.
struct Buffer {
  unsigned char* data = nullptr;
  Buffer() = default;
  ~Buffer() { imageFree(data); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  bool take(uint64_t count, uint64_t itemBytes) {
    size_t bytes = 0;
    if (!imageArraySize(count, itemBytes, &bytes)) return false;
    data = imageAlloc(bytes, false);
    return data != nullptr;
  }
};

// Where the samples of a line of length L fall, for N outputs.
struct LinePlan {
  int64_t length = 0;    // L
  int64_t outputs = 0;   // N
  int64_t samples = 0;   // M
  int64_t group = 1;     // k = M / N
  Buffer segment;        // int32 per sample: n, or -1 for a copy of pixel n
  Buffer fraction;       // double per sample: f, or the copied pixel index
  Buffer sampleStore;    // M pixels, only when group > 1
  Buffer coefficients;   // 16 doubles per segment: 4 channels x 4 coefficients
  Buffer fittedFor;      // int64 per segment: the line whose coefficients are held
  Buffer premultiplied;  // 4 ints per source pixel: T, then colour x opacity
};

int32_t* segmentAt(LinePlan& plan) { return reinterpret_cast<int32_t*>(plan.segment.data); }
double* fractionAt(LinePlan& plan) { return reinterpret_cast<double*>(plan.fraction.data); }

bool makePlan(LinePlan& plan, int64_t length, int64_t outputs) {
  plan.length = length;
  plan.outputs = outputs;
  if (length < 3) return true;  // lines of one or two pixels need no plan
  // 4N < 3L: shrinking below three quarters, sample five times as densely.
  int64_t m = (4 * outputs < 3 * length) ? 5 * outputs : outputs;
  plan.samples = m;
  plan.group = m / outputs;
  int64_t segments = length - 1;
  if (!plan.segment.take(m, sizeof(int32_t)) || !plan.fraction.take(m, sizeof(double)) ||
      !plan.coefficients.take(segments, 16 * sizeof(double)) ||
      !plan.fittedFor.take(segments, sizeof(int64_t)) ||
      !plan.premultiplied.take(length, 4 * sizeof(int32_t)))
    return false;
  if (plan.group > 1 && !plan.sampleStore.take(m, 4)) return false;
  int32_t* seg = segmentAt(plan);
  double* frac = fractionAt(plan);
  for (int64_t i = 0; i < m; ++i) {
    if (i == 0 || i == m - 1) {
      seg[i] = -1;
      frac[i] = i == 0 ? 0.0 : static_cast<double>(length - 1);
      continue;
    }
    int64_t n = ((length - 1) * i) / m;
    double f = static_cast<double>((length - 1) * i) / static_cast<double>(m) - static_cast<double>(n);
    if (f == 0) {
      seg[i] = -1;
      frac[i] = static_cast<double>(n);
    } else {
      seg[i] = static_cast<int32_t>(n);
      frac[i] = f;
    }
  }
  int64_t* fitted = reinterpret_cast<int64_t*>(plan.fittedFor.data);
  for (int64_t s = 0; s < segments; ++s) fitted[s] = -1;
  return true;
}

unsigned char clampByte(double v) {
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  return static_cast<unsigned char>(v);
}

// One interpolated pixel from four cubic coefficient sets (T first, then the
// premultiplied colour channels) at position f.
void evaluatePixel(const double* coef, double f, unsigned char* out) {
  double t = ((coef[0] * f + coef[1]) * f + coef[2]) * f + coef[3];
  unsigned char T = clampByte(std::floor(t + 0.5));
  out[0] = T;
  for (int k = 1; k < 4; ++k) {
    if (T == 255) {
      out[k] = 0;
      continue;
    }
    const double* c = coef + 4 * k;
    double v = ((c[0] * f + c[1]) * f + c[2]) * f + c[3];
    out[k] = clampByte(std::floor(v / static_cast<double>(255 - T) + 0.5));
  }
}

// Fits the polynomial of segment n (cubic inside, parabola at either end).
void fitSegment(const int32_t* pm, int64_t length, int64_t n, double* coef) {
  for (int ch = 0; ch < 4; ++ch) {
    double* c = coef + 4 * ch;
    auto y = [&](int64_t index) { return pm[4 * index + ch]; };
    if (n == 0) {
      c[0] = 0;
      fitQuadratic(0, y(0), 1, y(1), 2, y(2), &c[1], &c[2], &c[3]);
    } else if (n < length - 2) {
      fitCubic(-1, y(n - 1), 0, y(n), 1, y(n + 1), 2, y(n + 2), &c[0], &c[1], &c[2], &c[3]);
    } else {
      c[0] = 0;
      fitQuadratic(-1, y(n - 1), 0, y(n), 1, y(n + 1), &c[1], &c[2], &c[3]);
    }
  }
}

// Output pixel of a single-pixel group: the sample itself, but a fully
// transparent one carries no colour (as averagePixels of one pixel gives).
void storeSingle(const unsigned char* sample, unsigned char* out) {
  std::memcpy(out, sample, 4);
  if (out[0] == 255) out[1] = out[2] = out[3] = 0;
}

// Resamples one line of plan.length 32-bit pixels (src, contiguous) to
// plan.outputs pixels written stride bytes apart. lineId tells the
// coefficient cache which line it holds.
void resampleLine(LinePlan& plan, int64_t lineId, const unsigned char* src, unsigned char* out,
                  size_t stride) {
  int64_t length = plan.length, outputs = plan.outputs;
  if (length == 1) {
    for (int64_t j = 0; j < outputs; ++j) std::memcpy(out + j * stride, src, 4);
    return;
  }
  if (length == 2) {
    std::memcpy(out, src, 4);
    if (outputs == 1) return;
    std::memcpy(out + (outputs - 1) * stride, src + 4, 4);
    if (outputs == 2) return;
    double coef[16];
    for (int ch = 0; ch < 4; ++ch) {
      int y0 = ch == 0 ? src[0] : src[ch] * (255 - src[0]);
      int y1 = ch == 0 ? src[4] : src[4 + ch] * (255 - src[4]);
      coef[4 * ch] = coef[4 * ch + 1] = 0;
      fitLine(0, y0, 1, y1, &coef[4 * ch + 2], &coef[4 * ch + 3]);
    }
    for (int64_t j = 1; j < outputs - 1; ++j)
      evaluatePixel(coef, static_cast<double>(j) / static_cast<double>(outputs - 1), out + j * stride);
    return;
  }

  int32_t* pm = reinterpret_cast<int32_t*>(plan.premultiplied.data);
  for (int64_t x = 0; x < length; ++x) {
    const unsigned char* p = src + 4 * x;
    int opacity = 255 - p[0];
    pm[4 * x] = p[0];
    for (int k = 1; k < 4; ++k) pm[4 * x + k] = p[k] * opacity;
  }
  const int32_t* seg = segmentAt(plan);
  const double* frac = fractionAt(plan);
  double* coefficients = reinterpret_cast<double*>(plan.coefficients.data);
  int64_t* fitted = reinterpret_cast<int64_t*>(plan.fittedFor.data);

  auto sample = [&](int64_t i, unsigned char* to) {
    int32_t n = seg[i];
    if (n < 0) {
      std::memcpy(to, src + 4 * static_cast<int64_t>(frac[i]), 4);
      return;
    }
    double* coef = coefficients + 16 * n;
    if (fitted[n] != lineId) {
      fitSegment(pm, length, n, coef);
      fitted[n] = lineId;
    }
    evaluatePixel(coef, frac[i], to);
  };

  if (plan.group == 1) {
    unsigned char pixel[4];
    for (int64_t j = 0; j < outputs; ++j) {
      sample(j, pixel);
      storeSingle(pixel, out + j * stride);
    }
    return;
  }
  unsigned char* samples = plan.sampleStore.data;
  for (int64_t i = 0; i < plan.samples; ++i) sample(i, samples + 4 * i);
  for (int64_t j = 0; j < outputs; ++j)
    averagePixels(samples + 4 * j * plan.group, static_cast<size_t>(plan.group), out + j * stride);
}

void widenTo32(Image& image) {
  if (image.bitsPerPixel == 1) image.expandMonoTo8();
  if (image.bitsPerPixel == 8) image.expandPaletteTo32(0);
  if (image.bitsPerPixel == 24) image.expandRgbTo32();
}

}  // namespace

void Image::pixelAt(int32_t x, int32_t y, unsigned char* out) const {
  out[0] = out[1] = out[2] = out[3] = 0;
  if (!pixels || width < 1 || height < 1) return;
  if (x < 0) x = 0;
  if (x > width - 1) x = width - 1;
  if (y < 0) y = 0;
  if (y > height - 1) y = height - 1;
  size_t index = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
  switch (bitsPerPixel) {
    case 32:
      std::memcpy(out, pixels + 4 * index, 4);
      break;
    case 24:
      std::memcpy(out + 1, pixels + 3 * index, 3);
      break;
    case 8:
      if (palette) {
        std::memcpy(out, palette + 4 * pixels[index], 4);
      } else {
        out[1] = out[2] = out[3] = static_cast<unsigned char>(255 - pixels[index]);
      }
      break;
    case 1: {
      size_t row = rowBytes();
      bool set = pixels[static_cast<size_t>(y) * row + static_cast<size_t>(x) / 8] & (0x80 >> (x % 8));
      if (palette) {
        std::memcpy(out, palette + (set ? 4 : 0), 4);
      } else {
        out[1] = out[2] = out[3] = set ? 0 : 255;
      }
      break;
    }
  }
}

int Image::resample(int32_t newWidth, int32_t newHeight) {
  // Nothing to scale from or to: refused before anything changes.
  if (newWidth < 1 || newHeight < 1 || !pixels || width < 1 || height < 1) return 1;

  // A conversion short of memory leaves the depth as it was; pixelAt reads
  // every depth with the same meaning, so the passes go on regardless.
  widenTo32(*this);

  int64_t oldWidth = width, oldHeight = height;
  Buffer intermediate, line;
  LinePlan rows, columns;
  size_t finalBytes = 0;
  if (!imageBufferSize(newWidth, newHeight, 32, &finalBytes) ||
      !intermediate.take(static_cast<uint64_t>(newWidth) * static_cast<uint64_t>(oldHeight), 4) ||
      !line.take(static_cast<uint64_t>(oldWidth > oldHeight ? oldWidth : oldHeight), 4) ||
      !makePlan(rows, oldWidth, newWidth) || !makePlan(columns, oldHeight, newHeight))
    return 2;

  // Horizontal pass: each row of the record to newWidth pixels.
  size_t newRow = static_cast<size_t>(newWidth) * 4;
  for (int64_t y = 0; y < oldHeight; ++y) {
    const unsigned char* src;
    if (bitsPerPixel == 32) {
      src = pixels + static_cast<size_t>(y) * static_cast<size_t>(oldWidth) * 4;
    } else {
      for (int64_t x = 0; x < oldWidth; ++x)
        pixelAt(static_cast<int32_t>(x), static_cast<int32_t>(y), line.data + 4 * x);
      src = line.data;
    }
    resampleLine(rows, y, src, intermediate.data + static_cast<size_t>(y) * newRow, 4);
  }

  // The record is re-made at the new size. Losing the final store here means
  // the old pixels are gone and there is nothing new: the record is left
  // empty (all fields zero), never a size without pixels behind it.
  clear();
  pixels = imageAlloc(finalBytes, false);
  if (!pixels) return 2;
  width = newWidth;
  height = newHeight;
  bitsPerPixel = 32;

  // Vertical pass: each column of the intermediate picture to newHeight.
  for (int64_t x = 0; x < newWidth; ++x) {
    for (int64_t y = 0; y < oldHeight; ++y)
      std::memcpy(line.data + 4 * y, intermediate.data + static_cast<size_t>(y) * newRow + 4 * x, 4);
    resampleLine(columns, x, line.data, pixels + 4 * x, newRow);
  }

  if (!hasTransparency()) stripTransparency();
  return 0;
}
