#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/BridgeRequest.h"
#include "bridge/ByteStream.h"
#include "bridge/Workspace.h"
#include "runtime/Clock.h"

namespace murmo::bridge::testing {

using Json = nlohmann::json;

// A request object with the protocol version, id and action already set.
inline Json requestObject(std::string_view action, Json fields = Json::object(), std::string_view id = "r1") {
    fields["protocol_version"] = 1;
    fields["id"] = id;
    fields["action"] = action;
    return fields;
}

// Parses a request that must be accepted.
inline BridgeRequest accepted(const Json& object) {
    auto request = parseRequest(object.dump());
    if (!request) ADD_FAILURE() << "refused: " << request.error().code;
    return request ? std::move(*request) : BridgeRequest("", "", Json::object());
}

// Hands out its text in pieces of at most `pieceSize` bytes, as a pipe may.
class StringInput final : public InputSource {
public:
    explicit StringInput(std::string text, std::size_t pieceSize = SIZE_MAX)
        : text_(std::move(text)), pieceSize_(pieceSize) {}

    std::size_t read(std::span<char> buffer) override {
        const auto count = std::min({buffer.size(), pieceSize_, text_.size() - offset_});
        std::copy_n(text_.data() + offset_, count, buffer.data());
        offset_ += count;
        return count;
    }

    std::size_t consumed() const { return offset_; }

private:
    std::string text_;
    std::size_t pieceSize_;
    std::size_t offset_ = 0;
};

class RecordingOutput final : public OutputSink {
public:
    bool write(std::string_view bytes) override {
        if (writesBeforeFailure == 0) return false;
        --writesBeforeFailure;
        writes.emplace_back(bytes);
        return true;
    }

    std::string text() const {
        std::string all;
        for (const auto& piece : writes) all += piece;
        return all;
    }

    std::vector<std::string> writes;
    std::size_t writesBeforeFailure = SIZE_MAX;
};

class FakeWorkspace final : public Workspace {
public:
    bool fileExists(const std::string& path) const override {
        return std::ranges::find(existing, path) != existing.end();
    }
    bool open(const std::string& path) override {
        opened.push_back(path);
        return opens;
    }

    std::vector<std::string> existing;
    bool opens = true;
    std::vector<std::string> opened;
};

class TestClock final : public Clock {
public:
    MonotonicTime now() const override { return current; }
    WallTime wallTime() const override { return WallTime{}; }

    MonotonicTime current{std::chrono::seconds(5)};
};

}  // namespace murmo::bridge::testing
