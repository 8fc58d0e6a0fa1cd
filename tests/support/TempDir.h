#pragma once
// A fresh folder for one test, removed with everything in it afterwards.

#include <string>
#include <string_view>

namespace qb::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(std::string_view name) const;
    // Writes the file (binary) and returns its path.
    std::string Write(std::string_view name, std::string_view content) const;

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
// The folder of the shared outside test data (../shared/testdata beside the
// checkout; the environment variable QUILLBOX_TESTDATA overrides it).
std::string TestDataDir();

}  // namespace qb::test
