#pragma once
// How Money keeps a password in its old rights tables: each character of the Windows-1250 form,
// counted from 0, is combined by exclusive-or with the low byte of (PasswordScrambleStart + its
// position). The same call turns a stored password back into its text.
//
// The transform works on the Windows-1250 bytes, so the result of any text, read back through
// Windows-1250, gives that text again; it may hold a NUL, which our tables keep.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/cp1250.h"

namespace vorlend {

// The one start value of the transform, shared by the rights reader and the tools that write
// rights tables.
inline constexpr std::uint8_t kPasswordScrambleStart = 0x5A;

inline std::string ScramblePassword(std::string_view text) {
  std::string bytes = Utf8ToCp1250(text);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto key = static_cast<unsigned char>((kPasswordScrambleStart + i) & 0xFF);
    bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) ^ key);
  }
  return Cp1250ToUtf8(bytes);
}

}  // namespace vorlend
