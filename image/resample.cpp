// The resampler: two separable passes (rows, then columns) of piecewise
// polynomial interpolation, weighted by opacity, with five-fold supersampling
// and box averaging where a dimension shrinks below three quarters.
//
// A cubic sample is computed from six times the cubic, whose coefficients
// are integers: its value at f, divided by 6 for the transparency and by 6 x
// opacity for a colour, then rounded half up. At a fraction such as a half
// that sum is exact and the one division rounds to nearest, so a sample whose
// exact value lies on a half rounds the way that value says; with the
// cubic's own coefficients (thirds, inexact in double) it could come out a
// unit lower.
//
// Speed without changing a bit of the result. Where a sample falls depends
// only on its index, so each pass works out once which segment and fraction
// every sample has (LinePlan). The coefficients of a segment depend only on
// the line's pixels, so each line fits each segment it uses once and keeps
// the coefficients (the same fit of the same integers gives the same doubles
// as fitting again per sample). The per-sample work that is left is exactly
// the evaluation, division and rounding the results are defined by, in the
// same order. A segment whose transparency bytes are all 0 (every segment of
// an opaque picture) has transparency 0 at every position, so that
// polynomial is not evaluated.
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

// The polynomials of one segment: per channel (T, then the premultiplied
// colours) the coefficients of a cubic a, b, c, d, of a parabola in b, c, d,
// of a line in c, d. A cubic is held six times over (fitCubicSixfold), in
// integers, and its value divided by 6 where it is used (kScale).
struct Segment {
  double coef[4][4];
  int degree;       // 1, 2 or 3
  bool opaque;      // every transparency byte it was fitted through is 0
  bool sameAsLeft;  // vertical pass by rows: fitted through the same pixels
                    // as the column to its left
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
  Buffer coefficients;   // one Segment per segment of the line
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
      !plan.coefficients.take(segments, sizeof(Segment)) ||
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
    // In 64 bits: L and M are bounded by the 1 GiB buffer limit (a pixel is
    // 4 bytes, a plan entry 12), so (L - 1) * i stays far below overflow.
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

// floor(v) limited to 0 ... 255. Between 0 and 255 truncation is floor, and
// below 0 both end at 0, so no call of floor is needed (on the plain x86-64
// instruction set it is a library call, four per pixel).
unsigned char clampFloor(double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<unsigned char>(v);
}

// The factor by which a segment's polynomial is held: the cubic's own
// coefficients have thirds, six times them are integers. Dividing by 6 is
// folded into the one division a colour channel makes anyway (by 6 x
// opacity); transparency makes one of its own. Lines and parabolas have
// coefficients in halves, exact as they are, and 1 changes nothing for them.
template <int Degree>
constexpr double kScale = Degree == 3 ? 6.0 : 1.0;

// The (scaled) polynomial at f, in the evaluation order the results are
// defined by.
template <int Degree>
double evaluate(const double* c, double f) {
  if (Degree == 3) return ((c[0] * f + c[1]) * f + c[2]) * f + c[3];
  if (Degree == 2) return (c[1] * f + c[2]) * f + c[3];
  return c[2] * f + c[3];
}

// One interpolated pixel of the segment at position f.
template <int Degree>
void evaluatePixelOf(const Segment& segment, double f, unsigned char* out) {
  unsigned char T = 0;
  if (!segment.opaque) {
    double t = evaluate<Degree>(segment.coef[0], f);
    if constexpr (Degree == 3) t /= kScale<Degree>;
    T = clampFloor(t + 0.5);
  }
  out[0] = T;
  if (T == 255) {
    out[1] = out[2] = out[3] = 0;
    return;
  }
  double divisor = kScale<Degree> * static_cast<double>(255 - T);
  for (int k = 1; k < 4; ++k) out[k] = clampFloor(evaluate<Degree>(segment.coef[k], f) / divisor + 0.5);
}

void evaluatePixel(const Segment& segment, double f, unsigned char* out) {
  if (segment.degree == 3) evaluatePixelOf<3>(segment, f, out);
  else if (segment.degree == 2) evaluatePixelOf<2>(segment, f, out);
  else evaluatePixelOf<1>(segment, f, out);
}

// Which pixels the polynomial of segment n of a line of length pixels goes
// through: a parabola through 0, 1, 2 at the start, a cubic through n - 1 to
// n + 2 inside, a parabola through n - 1, n, n + 1 at the end.
int64_t windowStart(int64_t length, int64_t n, int* degree) {
  *degree = (n == 0 || n >= length - 2) ? 2 : 3;
  return n == 0 ? 0 : n - 1;
}

// Fits a segment through the premultiplied pixels of its window (3 or 4
// pixels of 4 ints: T, then colour x opacity). atStart: the start parabola,
// whose abscissae are 0, 1, 2 rather than -1, 0, 1.
void fitWindow(const int32_t* window, int degree, bool atStart, Segment& segment) {
  segment.degree = degree;
  for (int ch = 0; ch < 4; ++ch) {
    double* c = segment.coef[ch];
    auto y = [&](int k) { return window[4 * k + ch]; };
    if (degree == 3) {
      fitCubicSixfold(y(0), y(1), y(2), y(3), &c[0], &c[1], &c[2], &c[3]);
    } else if (atStart) {
      fitQuadratic(0, y(0), 1, y(1), 2, y(2), &c[1], &c[2], &c[3]);
    } else {
      fitQuadratic(-1, y(0), 0, y(1), 1, y(2), &c[1], &c[2], &c[3]);
    }
  }
  segment.opaque = true;
  for (int k = 0; k <= degree; ++k) segment.opaque = segment.opaque && window[4 * k] == 0;
}

// T, then each colour byte times the opacity: what the fits go through.
void premultiply(const unsigned char* pixel, int32_t* out) {
  int opacity = 255 - pixel[0];
  out[0] = pixel[0];
  for (int k = 1; k < 4; ++k) out[k] = pixel[k] * opacity;
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
    Segment segment;
    segment.degree = 1;
    segment.opaque = src[0] == 0 && src[4] == 0;
    for (int ch = 0; ch < 4; ++ch) {
      int y0 = ch == 0 ? src[0] : src[ch] * (255 - src[0]);
      int y1 = ch == 0 ? src[4] : src[4 + ch] * (255 - src[4]);
      fitLine(0, y0, 1, y1, &segment.coef[ch][2], &segment.coef[ch][3]);
    }
    for (int64_t j = 1; j < outputs - 1; ++j)
      evaluatePixel(segment, static_cast<double>(j) / static_cast<double>(outputs - 1), out + j * stride);
    return;
  }

  int32_t* pm = reinterpret_cast<int32_t*>(plan.premultiplied.data);
  for (int64_t x = 0; x < length; ++x) premultiply(src + 4 * x, pm + 4 * x);
  const int32_t* seg = segmentAt(plan);
  const double* frac = fractionAt(plan);
  Segment* segments = reinterpret_cast<Segment*>(plan.coefficients.data);
  int64_t* fitted = reinterpret_cast<int64_t*>(plan.fittedFor.data);

  // Sample i to the 4 bytes at to. A copied pixel keeps its colour bytes
  // here; the caller clears them where a fully transparent one is output.
  auto sample = [&](int64_t i, unsigned char* to) {
    int32_t n = seg[i];
    if (n < 0) {
      std::memcpy(to, src + 4 * static_cast<int64_t>(frac[i]), 4);
      return;
    }
    Segment& segment = segments[n];
    if (fitted[n] != lineId) {
      int degree;
      int64_t first = windowStart(length, n, &degree);
      fitWindow(pm + 4 * first, degree, n == 0, segment);
      fitted[n] = lineId;
    }
    evaluatePixel(segment, frac[i], to);
  };

  if (plan.group == 1) {
    for (int64_t j = 0; j < outputs; ++j) {
      unsigned char* to = out + j * stride;
      sample(j, to);
      if (to[0] == 255) to[1] = to[2] = to[3] = 0;  // as averagePixels of one pixel
    }
    return;
  }
  unsigned char* samples = plan.sampleStore.data;
  for (int64_t i = 0; i < plan.samples; ++i) sample(i, samples + 4 * i);
  for (int64_t j = 0; j < outputs; ++j)
    averagePixels(samples + 4 * j * plan.group, static_cast<size_t>(plan.group), out + j * stride);
}

// One output row of the vertical pass by rows: every column's segment at f.
// The pixel last computed is kept in four scalars for the columns that
// repeat it, and written byte by byte: a pixel assembled in memory and read
// back as one word would wait for its byte stores on every column.
template <int Degree>
void evaluateRow(const Segment* segments, int64_t width, double f, unsigned char* out) {
  constexpr double opaqueDivisor = kScale<Degree> * 255.0;
  unsigned char t = 0, r = 0, g = 0, b = 0;
  for (int64_t x = 0; x < width; ++x) {
    const Segment& segment = segments[x];
    if (segment.sameAsLeft) {
    } else if (segment.opaque) {
      // evaluatePixelOf for a transparency of 0, spelled out.
      t = 0;
      r = clampFloor(evaluate<Degree>(segment.coef[1], f) / opaqueDivisor + 0.5);
      g = clampFloor(evaluate<Degree>(segment.coef[2], f) / opaqueDivisor + 0.5);
      b = clampFloor(evaluate<Degree>(segment.coef[3], f) / opaqueDivisor + 0.5);
    } else {
      unsigned char pixel[4];
      evaluatePixelOf<Degree>(segment, f, pixel);
      t = pixel[0], r = pixel[1], g = pixel[2], b = pixel[3];
    }
    unsigned char* to = out + 4 * x;
    to[0] = t;
    to[1] = r;
    to[2] = g;
    to[3] = b;
  }
}

// The vertical pass when it neither averages nor has lines shorter than 3:
// the enlargement of a small picture to a screen, the one case that makes
// millions of samples. Output row j has the same segment n and fraction f in
// every column, so it is computed as a row: the segments of all columns are
// fitted once per n (n only grows with j), and the pixels are written in
// memory order instead of one column at a time across the whole picture.
// A few source pixels stretched wide make runs of identical columns (about
// half of them for 4 pixels to 3840), whose pixels are computed once.
void verticalPassByRows(LinePlan& plan, const unsigned char* source, int64_t width,
                        unsigned char* target, Buffer& rowSegments) {
  const int32_t* seg = segmentAt(plan);
  const double* frac = fractionAt(plan);
  Segment* segments = reinterpret_cast<Segment*>(rowSegments.data);
  size_t row = static_cast<size_t>(width) * 4;
  int64_t fittedN = -1;
  for (int64_t j = 0; j < plan.outputs; ++j) {
    unsigned char* out = target + static_cast<size_t>(j) * row;
    int32_t n = seg[j];
    if (n < 0) {
      // A copied source row; a fully transparent pixel loses its colour, as
      // in averagePixels of one pixel.
      std::memcpy(out, source + static_cast<size_t>(frac[j]) * row, row);
      for (int64_t x = 0; x < width; ++x)
        if (out[4 * x] == 255) out[4 * x + 1] = out[4 * x + 2] = out[4 * x + 3] = 0;
      continue;
    }
    if (n != fittedN) {
      int degree;
      int64_t first = windowStart(plan.length, n, &degree);
      int32_t window[16], left[16];
      for (int64_t x = 0; x < width; ++x) {
        for (int k = 0; k <= degree; ++k)
          premultiply(source + static_cast<size_t>(first + k) * row + 4 * x, window + 4 * k);
        size_t windowBytes = sizeof(int32_t) * 4 * static_cast<size_t>(degree + 1);
        if (x > 0 && std::memcmp(window, left, windowBytes) == 0) {
          segments[x] = segments[x - 1];
          segments[x].sameAsLeft = true;
        } else {
          fitWindow(window, degree, n == 0, segments[x]);
          segments[x].sameAsLeft = false;
          std::memcpy(left, window, windowBytes);
        }
      }
      fittedN = n;
    }
    // Every segment of the row has the same degree. A column whose window
    // equals its left neighbour's has the same polynomials, so the same pixel.
    double f = frac[j];
    if (segments[0].degree == 3) evaluateRow<3>(segments, width, f, out);
    else evaluateRow<2>(segments, width, f, out);
  }
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
  Buffer intermediate, line, rowSegments;
  LinePlan rows, columns;
  size_t finalBytes = 0;
  if (!imageBufferSize(newWidth, newHeight, 32, &finalBytes) ||
      !intermediate.take(static_cast<uint64_t>(newWidth) * static_cast<uint64_t>(oldHeight), 4) ||
      !line.take(static_cast<uint64_t>(oldWidth > oldHeight ? oldWidth : oldHeight), 4) ||
      !makePlan(rows, oldWidth, newWidth) || !makePlan(columns, oldHeight, newHeight) ||
      !rowSegments.take(static_cast<uint64_t>(newWidth), sizeof(Segment)))
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

  if (columns.length >= 3 && columns.group == 1) {
    verticalPassByRows(columns, intermediate.data, newWidth, pixels, rowSegments);
    if (!hasTransparency()) stripTransparency();
    return 0;
  }

  // Vertical pass: each column of the intermediate picture to newHeight.
  for (int64_t x = 0; x < newWidth; ++x) {
    for (int64_t y = 0; y < oldHeight; ++y)
      std::memcpy(line.data + 4 * y, intermediate.data + static_cast<size_t>(y) * newRow + 4 * x, 4);
    resampleLine(columns, x, line.data, pixels + 4 * x, newRow);
  }

  if (!hasTransparency()) stripTransparency();
  return 0;
}
