#include "platform/variant.h"

#include <climits>
#include <cmath>

#include "platform/locale.h"
#include "platform/text.h"

namespace vorlend {

namespace {
bool RoundToInt(double d, std::int32_t& out) {
  if (!std::isfinite(d)) return false;
  const double r = std::nearbyint(d);
  if (r < static_cast<double>(INT32_MIN) || r > static_cast<double>(INT32_MAX)) return false;
  out = static_cast<std::int32_t>(r);
  return true;
}
}  // namespace

bool Variant::ToInt(std::int32_t& out) const {
  switch (m_kind) {
    case Kind::Null:
      return false;
    case Kind::Int:
    case Kind::Bool:
      out = m_int;
      return true;
    case Kind::Double:
    case Kind::Date:
      return RoundToInt(m_double, out);
    case Kind::String: {
      const std::string t = Trim(m_text);
      int i = 0;
      if (ParseInt32(t, i)) {
        out = i;
        return true;
      }
      double d = 0;
      return TryStrToFloat(t, d) && RoundToInt(d, out);
    }
  }
  return false;
}

bool Variant::ToDouble(double& out) const {
  switch (m_kind) {
    case Kind::Null:
      return false;
    case Kind::Int:
    case Kind::Bool:
      out = m_int;
      return true;
    case Kind::Double:
    case Kind::Date:
      out = m_double;
      return true;
    case Kind::String:
      return TryStrToFloat(Trim(m_text), out);
  }
  return false;
}

bool Variant::ToBool(bool& out) const {
  switch (m_kind) {
    case Kind::Null:
      return false;
    case Kind::Int:
    case Kind::Bool:
      out = m_int != 0;
      return true;
    case Kind::Double:
    case Kind::Date:
      out = m_double != 0.0;
      return true;
    case Kind::String: {
      const std::string t = Trim(m_text);
      if (SameText(t, "true")) {
        out = true;
        return true;
      }
      if (SameText(t, "false")) {
        out = false;
        return true;
      }
      double d = 0;
      if (!TryStrToFloat(t, d)) return false;
      out = d != 0.0;
      return true;
    }
  }
  return false;
}

std::string Variant::ToString() const {
  switch (m_kind) {
    case Kind::Null:
      return {};
    case Kind::String:
      return m_text;
    case Kind::Int:
      return std::to_string(m_int);
    case Kind::Bool:
      return m_int ? "True" : "False";
    case Kind::Double:
      return FloatToStr(m_double);
    case Kind::Date:
      return (m_double == std::floor(m_double)) ? DateToStr(m_double) : DateTimeToStr(m_double);
  }
  return {};
}

bool Variant::operator==(const Variant& other) const {
  if (m_kind != other.m_kind) return false;
  switch (m_kind) {
    case Kind::Null:
      return true;
    case Kind::String:
      return m_text == other.m_text;
    case Kind::Int:
    case Kind::Bool:
      return m_int == other.m_int;
    case Kind::Double:
    case Kind::Date:
      return m_double == other.m_double;
  }
  return false;
}

}  // namespace vorlend
