#include "archive/report.h"

namespace vorlend {

bool SameLockState(const Variant& a, const Variant& b) {
  if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
  bool x = false, y = false;
  if (a.toBool(x) && b.toBool(y)) return x == y;
  return a == b;
}

}  // namespace vorlend
