#pragma once

// How a stored defaults value reads as a flag or a text, the same for every
// backend of DefaultsStore: values written by an earlier version, by hand or
// by another tool read the way the platform's own defaults read them.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace murmo {

// A bool as it is; a number false when zero, else true; the texts
// "true"/"yes"/"1" and "false"/"no"/"0" in any letter case. Anything else
// (other text, an array, an object, null) has no boolean reading.
std::optional<bool> defaultsBoolReading(const nlohmann::json& value);

// A text as it is; a number as its decimal text; anything else has none.
std::optional<std::string> defaultsStringReading(const nlohmann::json& value);

}  // namespace murmo
