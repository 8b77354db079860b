#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bridge/ByteStream.h"

namespace murmo::bridge {

struct InputLine {
    // Without its line feed, or a carriage return just before it. Empty when
    // the line was too long.
    std::string text;
    bool exceedsLimit = false;
};

// Splits an input into lines at line feeds without ever holding more than
// `limit` bytes of one: the rest of a longer line is read and dropped, so an
// endless line costs no memory. The last line needs no line feed.
class BoundedLineReader {
public:
    BoundedLineReader(InputSource& source, std::size_t limit, std::size_t chunkSize = 64 * 1024);

    // The next line, or nothing at the end of the input.
    std::optional<InputLine> next();

private:
    bool refill();
    void append(InputLine& line, const char* bytes, std::size_t count) const;

    InputSource& source_;
    std::size_t limit_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
};

}  // namespace murmo::bridge
