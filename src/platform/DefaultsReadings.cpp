#include "platform/DefaultsReadings.h"

#include "runtime/AsciiText.h"

namespace murmo {

std::optional<bool> defaultsBoolReading(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number_integer() || value.is_number_unsigned()) return value != 0;
    if (value.is_number_float()) return value.get<double>() != 0.0;
    if (!value.is_string()) return std::nullopt;
    const auto text = asciiLowercased(value.get_ref<const std::string&>());
    if (text == "true" || text == "yes" || text == "1") return true;
    if (text == "false" || text == "no" || text == "0") return false;
    return std::nullopt;
}

std::optional<std::string> defaultsStringReading(const nlohmann::json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number()) return value.dump();
    return std::nullopt;
}

}  // namespace murmo
