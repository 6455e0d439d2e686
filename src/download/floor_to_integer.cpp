#include <cmath>
#include <cstdint>

#include "download/transfer.h"

std::int32_t FloorToInteger(double x) {
  if (!std::isfinite(x)) return 0;  // a division by zero on the way here
  double whole = 0;
  const double fraction = std::modf(x, &whole);
  // 29 / 100 * 100 comes out just below 29 in floating point; it must still show 29.
  if (std::fabs(fraction) > 0.999999999999) x = x >= 0 ? whole + 1 : whole - 1;
  const double floored = std::floor(x);
  if (floored >= 2147483647.0) return INT32_MAX;
  if (floored <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(floored);
}
