#include "NodeScript.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "TemporaryDirectory.h"

namespace murmo::testing {

std::filesystem::path stubDocumentModule() {
    return std::filesystem::path(MURMO_SOURCE_DIR) / "tests/support/js/stub-document.js";
}

std::string javaScriptString(std::string_view text) { return nlohmann::json(std::string(text)).dump(); }

Result<std::string> runNodeScript(std::string_view source) {
    TemporaryDirectory folder;
    const auto path = folder.writeFile("script.js", source);
    const std::string command = "node '" + path.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return fail("NodeScript", 1, "node could not be started");
    std::string output;
    std::array<char, 4096> buffer{};
    while (const auto count = std::fread(buffer.data(), 1, buffer.size(), pipe)) output.append(buffer.data(), count);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return fail("NodeScript", 2, "node failed (is the nodejs package installed?): " + output);
    }
    return output;
}

Result<nlohmann::json> runStubPageProgram(std::string_view program) {
    const auto source = "const { createPage } = require(" + javaScriptString(stubDocumentModule().string()) + ");\n" +
                        std::string(program);
    auto output = runNodeScript(source);
    if (!output) return fail(output.error());
    auto parsed = nlohmann::json::parse(*output, nullptr, false);
    if (parsed.is_discarded()) return fail("NodeScript", 3, "the program printed no JSON: " + *output);
    return parsed;
}

}  // namespace murmo::testing
