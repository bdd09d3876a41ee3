// The resampler's cubic against exact rational arithmetic, without tolerance:
// the fitted coefficients are the doubles nearest to the exact ones, and
// whole pictures resampled to power-of-two sizes (where every sample lies at
// a fraction with few binary digits, halves included) equal what exact
// arithmetic and rounding half up give. The oracle here works in integers
// from the Lagrange form of the polynomials and calls none of the library's
// fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

using Int128 = __int128;

// x as m * 2^e with m an integer; x not 0.
void splitDouble(double x, int64_t* m, int* e) {
  int exponent;
  double fraction = std::frexp(x, &exponent);
  *m = static_cast<int64_t>(std::ldexp(fraction, 53));
  *e = exponent - 53;
}

// Whether x is the double nearest to num / 6: |6 x - num| compared exactly
// for x and both its neighbours, all scaled by 2^-emin into integers.
bool nearestToSixth(double x, int64_t num) {
  if (x == 0 || num == 0) return x == 0 && num == 0;
  double candidates[3] = {std::nextafter(x, -INFINITY), x, std::nextafter(x, INFINITY)};
  int64_t m[3];
  int e[3];
  for (int k = 0; k < 3; ++k) splitDouble(candidates[k], &m[k], &e[k]);
  int emin = std::min({e[0], e[1], e[2]});
  if (emin > 0) return false;  // far beyond any value tried here
  Int128 distance[3];
  for (int k = 0; k < 3; ++k) {
    Int128 d = Int128(6) * m[k] * (Int128(1) << (e[k] - emin)) - Int128(num) * (Int128(1) << -emin);
    distance[k] = d < 0 ? -d : d;
  }
  return distance[1] <= distance[0] && distance[1] <= distance[2];
}

TEST(ResampleExact, CubicCoefficientsNearestToExact) {
  std::mt19937 rng(11);
  struct Points {
    int64_t y[4];
  };
  std::vector<Points> cases = {{{0, 255, 0, 79}}, {{0, 0, 0, 0}}, {{65025, 0, 65025, 0}}, {{-65025, 65025, -65025, 65025}}};
  for (int trial = 0; trial < 20000; ++trial) {
    Points p;
    for (int64_t& v : p.y) v = int64_t(rng() % 130051) - 65025;
    cases.push_back(p);
  }
  for (const Points& p : cases) {
    const int64_t* y = p.y;
    double a, b, c, d;
    fitCubic(-1, int(y[0]), 0, int(y[1]), 1, int(y[2]), 2, int(y[3]), &a, &b, &c, &d);
    // Six times the exact coefficients, from the differences of the points.
    int64_t a6 = y[3] - y[0] - 3 * (y[2] - y[1]);
    int64_t b6 = 3 * (y[0] + y[2] - 2 * y[1]);
    int64_t c6 = 6 * (y[2] - y[1]) - 2 * (y[0] - y[1]) - (y[3] - y[1]);
    std::string name = "points " + std::to_string(y[0]) + " " + std::to_string(y[1]) + " " +
                       std::to_string(y[2]) + " " + std::to_string(y[3]);
    ASSERT_TRUE(nearestToSixth(a, a6)) << name << ": a = " << a;
    ASSERT_EQ(2 * b, double(b6 / 3)) << name << ": b, a half, is exact";
    ASSERT_TRUE(nearestToSixth(c, c6)) << name << ": c = " << c;
    ASSERT_EQ(d, double(y[1])) << name;
  }
}

using Px = std::array<int64_t, 4>;

int64_t floorDiv(int64_t num, int64_t den) {
  int64_t q = num / den;
  return (num % den != 0 && ((num < 0) != (den < 0))) ? q - 1 : q;
}

int64_t clampByte(int64_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// The pixel of the polynomial through (xs[k], P[k]) (per channel, colours
// weighted by opacity) at f = r / M, rounded half up as the results are
// defined. Lagrange form over the common denominator 6 M^3:
// basis k = prod_{j != k} (r - xs[j] M) * 6 M^(3 - degree) / prod_{j != k} (xs[k] - xs[j]).
Px exactPixel(const std::vector<int64_t>& xs, const Px* P, int64_t r, int64_t M) {
  size_t count = xs.size();
  int64_t denominator = 6 * M * M * M;
  std::vector<int64_t> basis(count);
  for (size_t k = 0; k < count; ++k) {
    int64_t product = 1, weight = 1;
    for (size_t j = 0; j < count; ++j)
      if (j != k) product *= r - xs[j] * M, weight *= xs[k] - xs[j];
    int64_t scale = 6;
    for (size_t power = count - 1; power < 3; ++power) scale *= M;
    basis[k] = product * scale / weight;  // weight divides 6 for degree 2 and 3
  }
  auto value = [&](int ch) {
    int64_t sum = 0;
    for (size_t k = 0; k < count; ++k) sum += basis[k] * (ch == 0 ? P[k][0] : P[k][size_t(ch)] * (255 - P[k][0]));
    return sum;
  };
  Px out;
  out[0] = clampByte(floorDiv(2 * value(0) + denominator, 2 * denominator));
  for (int ch = 1; ch < 4; ++ch) {
    int64_t divisor = denominator * (255 - out[0]);
    out[size_t(ch)] = out[0] == 255 ? 0 : clampByte(floorDiv(2 * value(ch) + divisor, 2 * divisor));
  }
  return out;
}

// One line of L >= 3 pixels to N outputs, N a power of two with 4 N >= 3 L
// (no supersampling): sample i at (L - 1) i / N, exact.
std::vector<Px> exactLine(const std::vector<Px>& P, int64_t N) {
  int64_t L = int64_t(P.size());
  std::vector<Px> out(static_cast<size_t>(N));
  for (int64_t i = 0; i < N; ++i) {
    int64_t n = (L - 1) * i / N, r = (L - 1) * i % N;
    Px& s = out[size_t(i)];
    if (i == 0 || i == N - 1 || r == 0) {
      s = P[size_t(i == N - 1 ? L - 1 : n)];
      if (s[0] == 255) s[1] = s[2] = s[3] = 0;  // a run of one transparent pixel
    } else if (n == 0) {
      s = exactPixel({0, 1, 2}, &P[0], r, N);
    } else if (n < L - 2) {
      s = exactPixel({-1, 0, 1, 2}, &P[size_t(n - 1)], r, N);
    } else {
      s = exactPixel({-1, 0, 1}, &P[size_t(n - 1)], r, N);
    }
  }
  return out;
}

Px pixelOf(const Image& image, int x, int y) {
  unsigned char p[4];
  image.pixelAt(x, y, p);
  return {p[0], p[1], p[2], p[3]};
}

// Rows, then columns, as the resampler's two passes do.
std::vector<std::vector<Px>> exactResample(const Image& in, int newWidth, int newHeight) {
  std::vector<std::vector<Px>> rows;
  for (int y = 0; y < in.height; ++y) {
    std::vector<Px> line;
    for (int x = 0; x < in.width; ++x) line.push_back(pixelOf(in, x, y));
    rows.push_back(exactLine(line, newWidth));
  }
  std::vector<std::vector<Px>> out(static_cast<size_t>(newHeight), std::vector<Px>(static_cast<size_t>(newWidth)));
  for (int x = 0; x < newWidth; ++x) {
    std::vector<Px> column;
    for (int y = 0; y < in.height; ++y) column.push_back(rows[size_t(y)][size_t(x)]);
    std::vector<Px> result = exactLine(column, newHeight);
    for (int y = 0; y < newHeight; ++y) out[size_t(y)][size_t(x)] = result[size_t(y)];
  }
  return out;
}

// A power of two from 4 to 64 that the length L (3 to 12) needs no
// supersampling for.
int powerOfTwoFor(std::mt19937& rng, int L) {
  std::vector<int> sizes;
  for (int n = 4; n <= 64; n *= 2)
    if (4 * n >= 3 * L) sizes.push_back(n);
  return sizes[rng() % sizes.size()];
}

TEST(ResampleExact, PicturesAgainstExactArithmetic) {
  // The cubic through transparencies 0, 255, 0, 79 is 138.5 at the half:
  // transparency 139, and colour 200 weighted by opacity gives
  // 23300 / 116 = 200.86, so 201 (a transparency of 138 would give 199).
  Bytes spike = {0, 200, 200, 200, 255, 200, 200, 200, 0, 200, 200, 200, 79, 200, 200, 200};
  struct Named {
    const char* name;
    Image image;
    int width, height, x, y;
  } named[] = {
      {"transparency peak, a row", makeImage(4, 1, 32, spike), 4, 1, 2, 0},
      {"transparency peak, a column", makeImage(1, 4, 32, spike), 1, 4, 0, 2},
  };
  for (Named& c : named) {
    ASSERT_EQ(c.image.resample(c.width, c.height), 0) << c.name;
    EXPECT_EQ(pixelOf(c.image, c.x, c.y), (Px{139, 201, 201, 201})) << c.name;
  }

  std::mt19937 rng(23);
  const char* kinds[] = {"opaque", "mixed transparency", "extremes"};
  for (int trial = 0; trial < 600; ++trial) {
    int kind = trial % 3;
    int width = 3 + int(rng() % 10), height = 3 + int(rng() % 10);
    Image image = makeImage(width, height, 32, {});
    for (int p = 0; p < width * height; ++p) {
      unsigned char* px = image.pixels + 4 * p;
      for (int ch = 0; ch < 4; ++ch) px[ch] = static_cast<unsigned char>(kind == 2 ? (rng() % 2) * 255 : rng());
      if (kind == 0) px[0] = 0;
      if (kind == 1 && rng() % 3 == 0) px[0] = rng() % 2 ? 255 : 0;
    }
    int newWidth = powerOfTwoFor(rng, width), newHeight = powerOfTwoFor(rng, height);
    std::string name = std::string(kinds[kind]) + " " + std::to_string(width) + "x" + std::to_string(height) +
                       " to " + std::to_string(newWidth) + "x" + std::to_string(newHeight) + ", trial " +
                       std::to_string(trial);
    std::vector<std::vector<Px>> expected = exactResample(image, newWidth, newHeight);
    ASSERT_EQ(image.resample(newWidth, newHeight), 0) << name;
    for (int y = 0; y < newHeight; ++y)
      for (int x = 0; x < newWidth; ++x)
        ASSERT_EQ(pixelOf(image, x, y), expected[size_t(y)][size_t(x)])
            << name << ": pixel (" << x << ", " << y << ")";
  }
}

}  // namespace
