#include "det_math.h"

namespace tumelin {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

// taylor series on [0, pi/4]; the x^19 term is below 1e-18 there
double SinSeries(double x) {
  const double x2 = x * x;
  double sum = 1.0 / 121645100408832000.0;   // 1/19!
  sum = 1.0 / 355687428096000.0 - x2 * sum;  // 1/17!
  sum = 1.0 / 1307674368000.0 - x2 * sum;    // 1/15!
  sum = 1.0 / 6227020800.0 - x2 * sum;       // 1/13!
  sum = 1.0 / 39916800.0 - x2 * sum;         // 1/11!
  sum = 1.0 / 362880.0 - x2 * sum;           // 1/9!
  sum = 1.0 / 5040.0 - x2 * sum;             // 1/7!
  sum = 1.0 / 120.0 - x2 * sum;              // 1/5!
  sum = 1.0 / 6.0 - x2 * sum;                // 1/3!
  sum = 1.0 - x2 * sum;
  return x * sum;
}

double CosSeries(double x) {
  const double x2 = x * x;
  double sum = 1.0 / 6402373705728000.0;    // 1/18!
  sum = 1.0 / 20922789888000.0 - x2 * sum;  // 1/16!
  sum = 1.0 / 87178291200.0 - x2 * sum;     // 1/14!
  sum = 1.0 / 479001600.0 - x2 * sum;       // 1/12!
  sum = 1.0 / 3628800.0 - x2 * sum;         // 1/10!
  sum = 1.0 / 40320.0 - x2 * sum;           // 1/8!
  sum = 1.0 / 720.0 - x2 * sum;             // 1/6!
  sum = 1.0 / 24.0 - x2 * sum;              // 1/4!
  sum = 0.5 - x2 * sum;                     // 1/2!
  sum = 1.0 - x2 * sum;
  return sum;
}

}  // namespace

SinCos SinCosTurns(int64_t num, int64_t den) {
  // exact argument reduction in integers: quadrant q and remainder r with
  // angle = (q + r / den) * pi / 2, 0 <= r < den
  int64_t scaled = (4 * num) % (4 * den);
  if (scaled < 0) scaled += 4 * den;
  const int64_t quadrant = scaled / den;
  const int64_t rem = scaled - quadrant * den;
  // reflect the upper half of the quadrant so the series sees |x| <= pi/4
  const bool reflect = 2 * rem > den;
  const double x = kHalfPi * static_cast<double>(reflect ? den - rem : rem) / static_cast<double>(den);
  double s = SinSeries(x);
  // at exactly pi/4 both take the same value, so mirrored angles agree
  double c = 2 * rem == den ? s : CosSeries(x);
  if (reflect) {
    const double t = s;
    s = c;
    c = t;
  }
  switch (quadrant) {
    case 0:
      return {s, c};
    case 1:
      return {c, -s};
    case 2:
      return {-s, -c};
    default:
      return {-c, s};
  }
}

}  // namespace tumelin
