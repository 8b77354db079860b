#include "bridge/BoundedLineReader.h"

#include <algorithm>
#include <cstring>

namespace murmo::bridge {

BoundedLineReader::BoundedLineReader(InputSource& source, std::size_t limit, std::size_t chunkSize)
    : source_(source), limit_(limit), buffer_(std::max<std::size_t>(chunkSize, 1)) {}

std::optional<InputLine> BoundedLineReader::next() {
    InputLine line;
    bool sawBytes = false;
    while (true) {
        if (begin_ == end_ && !refill()) {
            if (!sawBytes) return std::nullopt;
            // The last line, without a line feed: a carriage return there is
            // part of it.
            if (line.text.size() > limit_) line.exceedsLimit = true;
            break;
        }
        sawBytes = true;
        const char* start = buffer_.data() + begin_;
        const std::size_t available = end_ - begin_;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
        const std::size_t count = newline ? static_cast<std::size_t>(newline - start) : available;
        append(line, start, count);
        begin_ += newline ? count + 1 : count;
        if (!newline) continue;
        if (!line.exceedsLimit && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        if (line.text.size() > limit_) line.exceedsLimit = true;
        break;
    }
    if (line.exceedsLimit) line.text.clear();
    return line;
}

bool BoundedLineReader::refill() {
    if (ended_) return false;
    const auto count = source_.read(buffer_);
    if (count == 0) {
        ended_ = true;
        return false;
    }
    begin_ = 0;
    end_ = count;
    return true;
}

void BoundedLineReader::append(InputLine& line, const char* bytes, std::size_t count) const {
    if (line.exceedsLimit) return;
    // One byte past the limit is kept so that a line of exactly `limit` bytes
    // followed by a carriage return still fits.
    const std::size_t room = limit_ + 1 - line.text.size();
    if (count > room) {
        line.exceedsLimit = true;
        return;
    }
    line.text.append(bytes, count);
}

}  // namespace murmo::bridge
