#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "runtime/Error.h"

namespace murmo::testing {

// The stub page our generated page scripts run against in Node.js.
std::filesystem::path stubDocumentModule();

// Runs `source` as a Node.js program and returns what it printed. Fails when
// Node.js is missing or the program exits with an error (its output is in
// the message): a missing Node.js fails a test, it never skips one.
Result<std::string> runNodeScript(std::string_view source);

// `text` as a JavaScript string literal.
std::string javaScriptString(std::string_view text);

// Runs `program` in Node.js with `createPage` bound from the stub page module
// and returns the JSON the program printed; fails when Node.js fails or the
// output is not JSON.
Result<nlohmann::json> runStubPageProgram(std::string_view program);

}  // namespace murmo::testing
