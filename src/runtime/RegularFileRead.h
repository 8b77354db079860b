#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace murmo {

struct RegularFileRead {
    enum class Outcome {
        read,
        // Nothing at the path.
        absent,
        // A regular file longer than the bound; only the bound plus one byte
        // was read to learn it.
        tooLarge,
        // A folder, a FIFO, a device, or an I/O error.
        unreadable,
    };

    Outcome outcome = Outcome::absent;
    std::string bytes;
    // The errno when unreadable.
    int error = 0;
};

// Reads a regular file of at most `maximumBytes`: never blocks on a FIFO or a
// device, and never reads more than one byte past the bound, however large
// (or sparse) the file is.
RegularFileRead readRegularFile(const std::filesystem::path& path, std::size_t maximumBytes);

}  // namespace murmo
