#include <gtest/gtest.h>

#include "BridgeTestSupport.h"
#include "bridge/UnsupportedRuntime.h"
#include "support/bridge/FixedSystemLocale.h"

namespace murmo::bridge {
namespace {

using testing::accepted;
using testing::Json;
using testing::requestObject;

class UnsupportedRuntimeTest : public ::testing::Test {
protected:
    Envelope send(std::string_view action, Json fields = Json::object()) {
        return runtime.handle(accepted(requestObject(action, std::move(fields))));
    }

    FixedSystemLocale systemLocale{"pt_BR"};
    testing::FakeWorkspace workspace;
    UnsupportedRuntime runtime{systemLocale, workspace};
};

TEST_F(UnsupportedRuntimeTest, StatusAndPrepareReportTheSystemAsTooOld) {
    const auto expected = Json::parse(R"({
        "protocol_version": 1, "compiled": true, "os_supported": false, "provider": "apple_foundation",
        "availability": "unavailable", "unavailable_reason": "unsupported_os", "locale": "de-DE",
        "supports_locale": false, "locale_supported": false, "available": false, "ready": false, "warmed": false,
        "runtime_state": "os_unsupported", "detail": "Apple's on-device model requires macOS 26 or later."})");
    // The purpose is never read, so not even a bad one is refused.
    EXPECT_EQ(send("status", {{"locale", "de_DE"}, {"purpose", "nonsense"}}), BridgeResponse::success("r1", expected));

    auto prepared = expected;
    prepared["prepared"] = false;
    EXPECT_EQ(send("prepare", {{"locale", "de_DE"}}), BridgeResponse::success("r1", prepared));
}

TEST_F(UnsupportedRuntimeTest, AnUnusableLocaleReportsTheSystemsOwn) {
    EXPECT_EQ(send("status", {{"locale", "en US"}})["result"]["locale"], "pt_BR");
    EXPECT_EQ(send("status")["result"]["locale"], "pt-BR");
}

TEST_F(UnsupportedRuntimeTest, RefusesModelWorkButUnloadsAndOpensSettings) {
    const auto unsupportedOS = BridgeResponse::failure(
        "r1", BridgeFailure("unsupported_os", "Apple's on-device model requires macOS 26 or later."));
    EXPECT_EQ(send("generate", {{"prompt", "p"}}), unsupportedOS);
    EXPECT_EQ(send("warmup"), unsupportedOS);
    EXPECT_EQ(send("unload"), BridgeResponse::success("r1", {{"unloaded", true}}));

    EXPECT_EQ(send("open_settings")["error"]["code"], "settings_unavailable");
    workspace.existing = {"/System/Applications/System Settings.app"};
    EXPECT_EQ(send("open_settings")["result"], Json({{"opened", true}, {"destination", "system_settings"}}));
}

}  // namespace
}  // namespace murmo::bridge
