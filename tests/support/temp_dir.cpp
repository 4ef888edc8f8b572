#include "support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace vorlend::test {

TempDir::TempDir() {
  static std::mt19937_64 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "vorlend-test-%08llx", static_cast<unsigned long long>(rng() & 0xffffffffu));
    const std::string path = TempDirectory() + name;
    const NewDirResult made = CreateNewDir(path);
    if (made == NewDirResult::Created) {
      m_path = path + "/";
      return;
    }
    if (made == NewDirResult::Failed) break;
  }
  throw std::runtime_error("no temporary folder could be made in " + TempDirectory());
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only entries must not keep the folder alive.
  for (auto it = fs::recursive_directory_iterator(NativePath(m_path), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(NativePath(m_path), ec);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  const std::string resolved = ResolvePath(path);
  fs::create_directories(NativePath(resolved).parent_path());
  std::ofstream out(NativePath(resolved), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(NativePath(ResolvePath(path)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vorlend::test
