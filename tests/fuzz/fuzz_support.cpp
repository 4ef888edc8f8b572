#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/cp1250.h"
#include "platform/files.h"
#include "platform/text.h"

namespace vorlend::fuzz {

void Fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "\n%s:%d: property broken: %s\n%s\n", file, line, condition, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

namespace {
std::string g_sandbox;

void RemoveSandbox() {
  std::error_code ec;
  if (!g_sandbox.empty()) std::filesystem::remove_all(g_sandbox, ec);
}
}  // namespace

const std::string& Sandbox() {
  if (g_sandbox.empty()) {
    std::string pattern = TempDirectory() + "vorlend-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) Fail(__FILE__, __LINE__, "mkdtemp", pattern);
    g_sandbox = pattern + "/";
    std::atexit(RemoveSandbox);
  }
  return g_sandbox;
}

std::string ConsumeText(FuzzedDataProvider& in, std::size_t maxBytes) {
  const bool raw = in.ConsumeBool();
  const std::string bytes = in.ConsumeRandomLengthString(maxBytes);
  return raw ? bytes : Cp1250ToUtf8(bytes);
}

std::string ConsumeCp1250Text(FuzzedDataProvider& in, std::size_t maxBytes) {
  return Cp1250ToUtf8(in.ConsumeRandomLengthString(maxBytes));
}

std::string ExpectedIniRead(const std::string& written) {
  std::string v = Cp1250ToUtf8(Utf8ToCp1250(written));
  for (char& ch : v) {
    if (ch == '\r' || ch == '\n' || ch == '\0') ch = ' ';
  }
  v = Trim(v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

std::string Printable(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && c != '\\' && c != '"') {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 15]);
    }
  }
  return out + "\"";
}

}  // namespace vorlend::fuzz

// Every write the add-on makes is synced to disk, which costs milliseconds per execution; the
// fuzz targets test what is written, not whether it survives a power cut, so syncing is a no-op
// in these programs.
extern "C" int fsync(int) {
  return 0;
}
extern "C" int fdatasync(int) {
  return 0;
}
