// fuzz/scratch_files.h: a scratch folder for the fuzz targets, since Kalvo's readers take file names.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace kalvo::fuzz {

// A folder of this process, removed at exit. In memory where /dev/shm exists,
// so that the reports the runs append, and their syncs, stay cheap.
class ScratchDir {
public:
    ScratchDir()
    {
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                           : std::filesystem::temp_directory_path();
        std::string pattern = (base / "kalvo-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_path = pattern;
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Writes the bytes exactly as given and returns the file's full path.
    std::string Write(const std::string& name, std::string_view bytes) const
    {
        const std::string file = File(name);
        // A second try after making the folder again: the scratch folder is
        // this harness's own, and losing it says nothing about the code under test.
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (out)
                return file;
            std::error_code ec;
            std::filesystem::create_directories(m_path, ec);
        }
        std::abort();
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline const ScratchDir& Scratch()
{
    static const ScratchDir dir;
    return dir;
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// A check the code under test must always pass; a failure is reported as a crash.
inline void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}  // namespace kalvo::fuzz
