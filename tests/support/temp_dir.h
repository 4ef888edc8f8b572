#pragma once
// A fresh directory below the temporary folder, removed with everything in it at the end of the test.
#include <string>

namespace vorlend::test {

class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with a trailing "/".
  const std::string& Path() const { return m_path; }
  std::string operator/(const std::string& relative) const { return m_path + relative; }

private:
  std::string m_path;
};

// Writes raw bytes to a file, creating parent directories; both resolve paths without regard to
// letter case, as the add-on does.
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

}  // namespace vorlend::test
