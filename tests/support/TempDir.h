#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::test {

// A fresh folder under $TMPDIR (or /tmp), removed with all it holds when the
// object goes. Creation failure fails the running test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return root; }
    // The path of `name` inside the folder (the file need not exist).
    std::string file(const std::string& name) const { return root + "/" + name; }

private:
    std::string root;
};

// Whole-file helpers for setting up and checking fixtures. ReadBytes of a
// missing file fails the running test and answers an empty vector.
std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

}  // namespace tavrin::test
