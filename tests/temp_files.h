// tests/temp_files.h: scratch folders and files that clean up after each test.
#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace kalvo::testing {

// A fresh folder under the system's temporary directory, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::random_device device;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("kalvo-test-" + std::to_string(device()));
            if (std::filesystem::create_directory(m_path))
                break;
        }
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // Writes bytes exactly as given (no line-end translation) and returns the full path.
    std::string Write(const std::string& name, std::string_view bytes) const
    {
        const auto file = m_path / name;
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// The whole file's bytes, or "" when it does not exist.
inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace kalvo::testing
