#include "shell/dashboard/WebScriptVerdict.h"

namespace murmo {

bool isJsonTrue(const WebScriptResult& result) {
    if (!result || !*result) return false;
    const json::Json& value = **result;
    return value.is_boolean() && value.get<bool>();
}

}  // namespace murmo
