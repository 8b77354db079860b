#include "bridge/LanguageModel.h"

namespace murmo::bridge {

Result<std::string> stringProperty(const GeneratedContent& content, std::string_view name) {
    if (content.properties.is_object()) {
        auto found = content.properties.find(name);
        if (found != content.properties.end() && found->is_string()) return found->get<std::string>();
    }
    return fail("MurmoGeneratedContent", 1, "the typed answer has no string property \"" + std::string(name) + "\"");
}

Error generationError(GenerationErrorCase errorCase, std::string message) {
    return Error(std::string(kGenerationErrorDomain), static_cast<long>(errorCase), std::move(message));
}

}  // namespace murmo::bridge
