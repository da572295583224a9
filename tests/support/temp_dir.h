#pragma once

#include <filesystem>
#include <string>

namespace kx::test {

// A fresh folder below the system's temporary folder, removed with everything in it when
// the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // `name` inside the folder, as a string.
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // The folder with a trailing "/".
    std::string folder() const { return m_path.string() + "/"; }

private:
    std::filesystem::path m_path;
};

// Writes `bytes` to `path`, replacing it.
void writeFile(const std::string& path, const std::string& bytes);

// The whole content of `path`, or empty when it cannot be read.
std::string readFile(const std::string& path);

// Path of a sample file kept in tests/data.
std::string corpusFile(const std::string& name);

// Path of the built program.
std::string programPath();

} // namespace kx::test
