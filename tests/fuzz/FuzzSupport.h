#pragma once

// What the fuzz targets share: handing an input to code that reads files.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace OrvintaFuzz {

/// Writes the input to a file of this process, replaced on every call.
inline std::string asFile(const std::uint8_t *data, std::size_t size, const char *suffix) {
    static const std::string path = "/tmp/orvinta-fuzz-" + std::to_string(::getpid()) + suffix;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    return path;
}

} // namespace OrvintaFuzz
