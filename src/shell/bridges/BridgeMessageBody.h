#pragma once

// A script message's body as every bridge reads it into a command: a JSON
// object whose keys are exactly those of the command (a key holding null is
// there and refuses), whose values have exactly the JSON kind asked for (a
// boolean is never 0 or 1, a number never a boolean), and whose enumeration
// values match one raw value byte for byte, untrimmed and case-sensitive.
//
// The project's strict readers (runtime/JsonRead.h) take null as absent, so a
// command checks its key set here first and reads its values here too. Keys
// and texts are compared and handed out with their lengths: a U+0000 inside
// one is kept, and a key holding one never matches a shorter name.

#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

#include "runtime/JsonRead.h"

namespace murmo {

// One case of an enumeration and the raw string the page sends for it.
template <typename Case>
struct BridgeRawValue {
    std::string_view raw;
    Case value;
};

class BridgeMessageBody {
public:
    // Absent unless the body is present and a JSON object. Refers to `body`,
    // which must outlive it.
    static std::optional<BridgeMessageBody> of(const std::optional<json::Json>& body);
    static std::optional<BridgeMessageBody> of(const std::optional<json::Json>&& body) = delete;

    // The keys present are exactly `keys` (given once each), and none holds
    // null.
    bool hasExactKeys(std::initializer_list<std::string_view> keys) const;
    // Every key present is one of `keys`, and none holds null.
    bool hasKeysAmong(std::initializer_list<std::string_view> keys) const;
    // Present, whatever it holds (null included).
    bool has(std::string_view key) const;

    // Absent when the key is missing or holds another kind of value. The
    // text is the body's own, U+0000 included; it lives as long as the body.
    std::optional<std::string_view> string(std::string_view key) const;
    std::optional<bool> boolean(std::string_view key) const;
    // Any JSON number (integer or not); never a boolean.
    std::optional<double> number(std::string_view key) const;
    // The elements of a JSON array, of any kinds; they live as long as the
    // body.
    std::optional<std::span<const json::Json>> array(std::string_view key) const;

    // The case whose raw value equals the key's string exactly.
    template <typename Case>
    std::optional<Case> rawValue(std::string_view key, std::span<const BridgeRawValue<Case>> cases) const {
        const auto text = string(key);
        if (!text) return std::nullopt;
        for (const auto& candidate : cases) {
            if (candidate.raw == *text) return candidate.value;
        }
        return std::nullopt;
    }

private:
    explicit BridgeMessageBody(const json::Json& object) : object_(&object) {}

    // Null when the key is missing.
    const json::Json* value(std::string_view key) const;
    bool holdsNull() const;

    const json::Json* object_;
};

}  // namespace murmo
