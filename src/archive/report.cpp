#include "archive/report.h"

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

}  // namespace vorlend
