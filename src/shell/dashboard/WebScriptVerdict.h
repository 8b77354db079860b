#pragma once

// How the native side reads a page's yes: a script's result counts only when
// it is the JSON value true. The number 1, the string "true", no value and an
// error are all no.

#include "platform/WebView.h"

namespace murmo {

bool isJsonTrue(const WebScriptResult& result);

}  // namespace murmo
