#include "literal_resample.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Pixel = std::array<unsigned char, 4>;

unsigned char clampFloor(double v) {
  double r = std::floor(v);
  return static_cast<unsigned char>(r < 0 ? 0 : r > 255 ? 255 : r);
}

// One pixel from the polynomial through (xs[k], P[k]) at pos, per channel.
// Lines and parabolas come from the library's fits (their coefficients are
// halves, exact in double). The cubic (abscissae -1, 0, 1, 2) is written out
// here from its closed form, six times over so that the coefficients are
// integers: its value is divided by 6, for a colour together with the
// opacity in one division.
Pixel literalInterpolate(int count, const int* xs, const Pixel* p, double pos) {
  double scale = count == 4 ? 6 : 1;
  auto evaluate = [&](const int* ys) {
    double a, b, c, d;
    if (count == 2) {
      fitLine(xs[0], ys[0], xs[1], ys[1], &a, &b);
      return a * pos + b;
    }
    if (count == 3) {
      fitQuadratic(xs[0], ys[0], xs[1], ys[1], xs[2], ys[2], &a, &b, &c);
      return (a * pos + b) * pos + c;
    }
    a = -ys[0] + 3 * ys[1] - 3 * ys[2] + ys[3];
    b = 3 * ys[0] - 6 * ys[1] + 3 * ys[2];
    c = -2 * ys[0] - 3 * ys[1] + 6 * ys[2] - ys[3];
    d = 6 * ys[1];
    return ((a * pos + b) * pos + c) * pos + d;
  };
  int ys[4];
  for (int k = 0; k < count; ++k) ys[k] = p[k][0];
  Pixel out;
  out[0] = clampFloor(evaluate(ys) / scale + 0.5);
  for (int ch = 1; ch < 4; ++ch) {
    for (int k = 0; k < count; ++k) ys[k] = p[k][ch] * (255 - p[k][0]);
    double v = evaluate(ys);
    out[ch] = out[0] == 255 ? 0 : clampFloor(v / (scale * (255 - out[0])) + 0.5);
  }
  return out;
}

std::vector<Pixel> literalLine(const std::vector<Pixel>& P, int n) {
  int length = int(P.size());
  std::vector<Pixel> out(size_t(n), P[0]);
  if (length == 1) return out;
  if (length == 2) {
    int xs[2] = {0, 1};
    for (int j = 1; j < n; ++j)
      out[size_t(j)] = j == n - 1 ? P[1] : literalInterpolate(2, xs, P.data(), double(j) / (n - 1));
    return out;
  }
  int m = 4 * n < 3 * length ? 5 * n : n;
  int k = m / n;
  std::vector<Pixel> s(static_cast<size_t>(m));
  s[0] = P[0];
  s[size_t(m - 1)] = P[size_t(length - 1)];
  for (int i = 1; i < m - 1; ++i) {
    int at = ((length - 1) * i) / m;
    double f = double((length - 1) * i) / m - at;
    if (f == 0) {
      s[size_t(i)] = P[size_t(at)];
    } else if (at == 0) {
      int xs[3] = {0, 1, 2};
      s[size_t(i)] = literalInterpolate(3, xs, &P[0], f);
    } else if (at < length - 2) {
      int xs[4] = {-1, 0, 1, 2};
      s[size_t(i)] = literalInterpolate(4, xs, &P[size_t(at - 1)], f);
    } else {
      int xs[3] = {-1, 0, 1};
      s[size_t(i)] = literalInterpolate(3, xs, &P[size_t(at - 1)], f);
    }
  }
  for (int j = 0; j < n; ++j) averagePixels(s[size_t(j * k)].data(), size_t(k), out[size_t(j)].data());
  return out;
}

}  // namespace

Image literalResample(const Image& in, int newWidth, int newHeight) {
  int oldHeight = in.height;
  std::vector<std::vector<Pixel>> rows;
  for (int y = 0; y < oldHeight; ++y) {
    std::vector<Pixel> line(size_t(in.width));
    for (int x = 0; x < in.width; ++x) in.pixelAt(x, y, line[size_t(x)].data());
    rows.push_back(literalLine(line, newWidth));
  }
  Image out;
  out.allocate(newWidth, newHeight, 32, false);
  for (int x = 0; x < newWidth; ++x) {
    std::vector<Pixel> column;
    for (int y = 0; y < oldHeight; ++y) column.push_back(rows[size_t(y)][size_t(x)]);
    std::vector<Pixel> result = literalLine(column, newHeight);
    for (int j = 0; j < newHeight; ++j) std::memcpy(out.pixels + 4 * (size_t(j) * size_t(newWidth) + size_t(x)), result[size_t(j)].data(), 4);
  }
  if (!out.hasTransparency()) out.stripTransparency();
  return out;
}

