#include "archive/report.h"

#include <algorithm>

namespace vorlend {

bool ArchivableLock(const Variant& lock) {
  return lock.IsNull() || lock.GetKind() == Variant::Kind::Bool;
}

bool SameLockState(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
  bool x = false, y = false;
  if (a.ToBool(x) && b.ToBool(y)) return x == y;
  return a == b;
}

int OverallPercent(int table, int tables, long long position, long long maximum) {
  const long long share = position < 0 ? 100 : maximum > 0 ? std::min(100LL, position * 100 / maximum) : 0;
  if (tables <= 0) return static_cast<int>(share);
  return static_cast<int>(((table - 1) * 100LL + share) / tables);
}

}  // namespace vorlend
