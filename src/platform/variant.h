#pragma once
// The value of a table field as the host table component hands it over: a variant of string,
// boolean, 32-bit integer, double or date (days since 1899-12-30), or Null.
#include <cstdint>
#include <string>
#include <variant>

namespace vorlend {

class Variant {
public:
  enum class Kind { Null, String, Bool, Int, Double, Date };

  Variant() = default;
  static Variant Null() { return Variant(); }
  static Variant FromString(std::string s) {
    Variant v;
    v.m_kind = Kind::String;
    v.m_text = std::move(s);
    return v;
  }
  static Variant FromBool(bool b) {
    Variant v;
    v.m_kind = Kind::Bool;
    v.m_int = b ? 1 : 0;
    return v;
  }
  static Variant FromInt(std::int32_t i) {
    Variant v;
    v.m_kind = Kind::Int;
    v.m_int = i;
    return v;
  }
  static Variant FromDouble(double d) {
    Variant v;
    v.m_kind = Kind::Double;
    v.m_double = d;
    return v;
  }
  static Variant FromDate(double d) {
    Variant v;
    v.m_kind = Kind::Date;
    v.m_double = d;
    return v;
  }

  Kind GetKind() const { return m_kind; }
  bool IsNull() const { return m_kind == Kind::Null; }

  // Raw accessors; call only for the matching kind.
  const std::string& Text() const { return m_text; }
  std::int32_t IntValue() const { return m_int; }
  double DoubleValue() const { return m_double; }
  bool BoolValue() const { return m_int != 0; }

  // Conversions as the automation variant performs them; false when the value does not convert.
  bool ToInt(std::int32_t& out) const;
  bool ToDouble(double& out) const;
  bool ToBool(bool& out) const;
  std::string ToString() const;  // Null gives an empty text

  bool operator==(const Variant& other) const;
  bool operator!=(const Variant& other) const { return !(*this == other); }

private:
  Kind m_kind = Kind::Null;
  std::string m_text;
  std::int32_t m_int = 0;
  double m_double = 0.0;
};

}  // namespace vorlend
