#pragma once
// Scratch files for tests: a folder of their own, removed with the object.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orvanta::test {

inline std::vector<std::uint8_t> pattern(std::size_t size, unsigned seed = 1)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

class ScratchDir {
public:
    ScratchDir()
    {
        auto base = std::filesystem::temp_directory_path();
        for (unsigned i = 0;; ++i) {
            path_ =
                base / ("orvanta-test-" + std::to_string(std::rand()) + "-" + std::to_string(i));
            if (std::filesystem::create_directory(path_))
                break;
        }
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& name) const { return (path_ / name).string(); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        std::string file = path(name);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    static std::vector<std::uint8_t> read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

}  // namespace orvanta::test
