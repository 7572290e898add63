#pragma once
// The loaders read files, so every fuzz input is first written to a scratch file of its own
// process (in memory when /dev/shm is there).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace karvona::fuzz {

inline std::string ScratchFile(const char* extension) {
    const std::filesystem::path folder =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    return (folder / ("karvona-fuzz-" + std::to_string(getpid()) + "." + extension)).string();
}

inline bool WriteWhole(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace karvona::fuzz
