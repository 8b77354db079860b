#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace murmo::bridge {

class InputSource {
public:
    virtual ~InputSource() = default;
    // Reads up to buffer.size() bytes; 0 at the end of the input (or when it
    // can no longer be read).
    virtual std::size_t read(std::span<char> buffer) = 0;
};

class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Writes all of `bytes`; false when the output is gone.
    virtual bool write(std::string_view bytes) = 0;
};

}  // namespace murmo::bridge
