// The arithmetic of the resampler: polynomial fits through integer points and
// the opacity-weighted mean of a run of pixels.
//
// The fits eliminate in integers as far as the inputs allow and divide in
// double only at the end of each step, so that points on a straight line give
// exact coefficients (the higher ones exactly 0) and a sample halfway between
// two grey levels rounds the way its exact value says.
//
// The cubic through the abscissae -1, 0, 1, 2 (the only cubic the resampler
// fits) has thirds in two of its coefficients, which no double holds. Six
// times that cubic has integer coefficients, exact in double; the resampler
// evaluates that one and divides by 6 once at the end (see resample.cpp).
#include <cmath>

#include "image.h"

void fitLine(int x0, int y0, int x1, int y1, double* slope, double* intercept) {
  *slope = static_cast<double>(int64_t(y1) - y0) / static_cast<double>(int64_t(x1) - x0);
  *intercept = static_cast<double>(y0) - static_cast<double>(x0) * *slope;
}

void fitQuadratic(int x0, int y0, int x1, int y1, int x2, int y2, double* a, double* b, double* c) {
  int64_t sq0 = int64_t(x0) * x0;
  int64_t g = sq0 - int64_t(x1) * x1;
  int64_t h = sq0 - int64_t(x2) * x2;
  int64_t dy01 = int64_t(y0) - y1, dy02 = int64_t(y0) - y2;
  int64_t dx01 = int64_t(x0) - x1, dx02 = int64_t(x0) - x2;
  *b = static_cast<double>(g * dy02 - dy01 * h) / static_cast<double>(g * dx02 - dx01 * h);
  if (g != 0) {
    *a = (static_cast<double>(dy01) - *b * static_cast<double>(dx01)) / static_cast<double>(g);
  } else {
    // x0 = -x1: the first difference has no square term, take the second.
    *a = (static_cast<double>(dy02) - *b * static_cast<double>(dx02)) / static_cast<double>(h);
  }
  *c = static_cast<double>(y0) - *a * static_cast<double>(sq0) - *b * static_cast<double>(x0);
}

void fitCubicSixfold(int y0, int y1, int y2, int y3, double* a6, double* b6, double* c6, double* d6) {
  const int64_t v0 = y0, v1 = y1, v2 = y2, v3 = y3;
  *a6 = static_cast<double>(-v0 + 3 * v1 - 3 * v2 + v3);
  *b6 = static_cast<double>(3 * v0 - 6 * v1 + 3 * v2);
  *c6 = static_cast<double>(-2 * v0 - 3 * v1 + 6 * v2 - v3);
  *d6 = static_cast<double>(6 * v1);
}

// The abscissae -1, 0, 1, 2 take the closed form above: each coefficient is
// one division of an exact integer, so it is the double nearest to the exact
// value (b and d, halves and integers, are exact).
//
// Other abscissae are solved by elimination: subtracting the first point's
// equation from the others removes d; cross-multiplying with the second
// removes c, then b, all in integers, so that a is one quotient of two exact
// integers. b, c and d follow by back substitution, which can leave them a
// unit in the last place off. Every divisor is a product of differences of
// the distinct abscissae, never 0.
void fitCubic(int x0, int y0, int x1, int y1, int x2, int y2, int x3, int y3,
              double* a, double* b, double* c, double* d) {
  if (x0 == -1 && x1 == 0 && x2 == 1 && x3 == 2) {
    double a6, b6, c6, d6;
    fitCubicSixfold(y0, y1, y2, y3, &a6, &b6, &c6, &d6);
    *a = a6 / 6;
    *b = b6 / 6;
    *c = c6 / 6;
    *d = d6 / 6;
    return;
  }
  const int64_t xs[4] = {x0, x1, x2, x3};
  const int64_t ys[4] = {y0, y1, y2, y3};
  int64_t cube[4], square[4];
  for (int i = 0; i < 4; ++i) {
    square[i] = xs[i] * xs[i];
    cube[i] = square[i] * xs[i];
  }
  // Row i (1..3): A a + B b + C c = Y.
  int64_t A[4], B[4], C[4], Y[4];
  for (int i = 1; i < 4; ++i) {
    A[i] = cube[0] - cube[i];
    B[i] = square[0] - square[i];
    C[i] = xs[0] - xs[i];
    Y[i] = ys[0] - ys[i];
  }
  // Rows 2 and 3 without c: P a + Q b = R.
  int64_t P[4], Q[4], R[4];
  for (int i = 2; i < 4; ++i) {
    P[i] = A[i] * C[1] - A[1] * C[i];
    Q[i] = B[i] * C[1] - B[1] * C[i];
    R[i] = Y[i] * C[1] - Y[1] * C[i];
  }
  *a = static_cast<double>(R[2] * Q[3] - R[3] * Q[2]) / static_cast<double>(P[2] * Q[3] - P[3] * Q[2]);
  *b = (static_cast<double>(R[2]) - *a * static_cast<double>(P[2])) / static_cast<double>(Q[2]);
  *c = (static_cast<double>(Y[1]) - *a * static_cast<double>(A[1]) - *b * static_cast<double>(B[1])) /
       static_cast<double>(C[1]);
  *d = static_cast<double>(ys[0]) - *a * static_cast<double>(cube[0]) -
       *b * static_cast<double>(square[0]) - *c * static_cast<double>(xs[0]);
}

void averagePixels(const unsigned char* pixels, size_t count, unsigned char* out) {
  uint64_t sumT = 0;
  uint64_t sumColour[3] = {0, 0, 0};
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = pixels + 4 * i;
    unsigned opacity = 255u - p[0];
    sumT += p[0];
    for (int k = 0; k < 3; ++k) sumColour[k] += uint64_t(p[1 + k]) * opacity;
  }
  double mean = static_cast<double>(sumT) / static_cast<double>(count);
  out[0] = static_cast<unsigned char>(mean + 0.5);
  if (255.0 - mean > 0) {
    double weight = static_cast<double>(count) * (255.0 - mean);
    for (int k = 0; k < 3; ++k) {
      double v = static_cast<double>(sumColour[k]) / weight + 0.5;
      // The weighted mean cannot pass 255 but for the last bit of rounding.
      out[1 + k] = static_cast<unsigned char>(v >= 255.0 ? 255.0 : v);
    }
  } else {
    out[1] = out[2] = out[3] = 0;
  }
}
