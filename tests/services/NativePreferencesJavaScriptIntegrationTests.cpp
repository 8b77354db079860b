#include <gtest/gtest.h>

#include "services/NativePreferencesJavaScript.h"
#include "support/NodeScript.h"

namespace murmo {
namespace {

using nlohmann::json;
using testing::javaScriptString;
using testing::runStubPageProgram;

// Runs `scenario` in Node after loading the stub page module and binding
// `script` to the generated script; returns the JSON the scenario prints.
json runScenario(const std::string& script, std::string_view scenario) {
    const auto program = "const script = " + javaScriptString(script) + ";\n" + std::string(scenario);
    auto printed = runStubPageProgram(program);
    if (!printed) {
        ADD_FAILURE() << printed.error().message;
        return json();
    }
    return *printed;
}

// What the root element shows, as the scenarios print it.
constexpr std::string_view kDescribeRoot = R"(
const describeRoot = (root) => root && ({
  dataset: { ...root.dataset },
  attributes: { ...root.attributes },
  colorScheme: root.style.colorScheme,
});
)";

NativePreferencesSnapshot turkishBlack() {
    NativePreferencesSnapshot snapshot;
    snapshot.revision = 3;
    snapshot.uiLanguagePreference = NativeAppLanguage::turkish;
    snapshot.uiLanguage = NativeAppLanguage::turkish;
    snapshot.appearance = {NativeAppearancePreference::black, NativeResolvedAppearance::black};
    snapshot.bigModeEnabled = true;
    return snapshot;
}

const json kTurkishBlackRoot = {{"dataset",
                                 {{"appearancePreference", "black"},
                                  {"appearance", "black"},
                                  {"colorScheme", "dark"},
                                  {"appLanguagePreference", "tr"},
                                  {"uiLanguagePreference", "tr"},
                                  {"appLanguage", "tr"},
                                  {"uiLanguage", "tr"},
                                  {"uiDirection", "ltr"},
                                  {"themePreference", "black"},
                                  {"theme", "black"},
                                  {"bigMode", "true"}}},
                                {"attributes", {{"lang", "tr"}, {"dir", "ltr"}}},
                                {"colorScheme", "dark"}};

TEST(NativePreferencesJavaScriptIntegrationTest, DocumentStartWithARootWritesItAtOnceAndAgainWhenLoaded) {
    const auto result =
        runScenario(NativePreferencesJavaScript::documentStart(turkishBlack()), std::string(kDescribeRoot) + R"(
const page = createPage({ withRoot: true });
page.document.documentElement.dataset.skin = 'classic';
page.run(script);
const first = describeRoot(page.document.documentElement);
page.document.documentElement.dataset.theme = 'changed by the page';
page.document.finishLoading();
console.log(JSON.stringify({
  first,
  afterLoad: page.document.documentElement.dataset.theme,
  available: page.window.__MURMO_NATIVE_AVAILABLE__,
  frozen: Object.isFrozen(page.window.__MURMO_NATIVE_PREFERENCES__) &&
          Object.isFrozen(page.window.__MURMO_NATIVE_PREFERENCES__.appearance),
  revision: page.window.__MURMO_NATIVE_PREFERENCES__.revision,
  observers: page.document.observers.size,
  loadListeners: page.document.listenerCount('DOMContentLoaded'),
}));
)");
    EXPECT_EQ(result["first"], kTurkishBlackRoot) << "the skin attribute is gone too";
    EXPECT_EQ(result["afterLoad"], "black");
    EXPECT_EQ(result["available"], true);
    EXPECT_EQ(result["frozen"], true);
    EXPECT_EQ(result["revision"], 3);
    EXPECT_EQ(result["observers"], 0);
    EXPECT_EQ(result["loadListeners"], 0) << "a one-time listener";
}

TEST(NativePreferencesJavaScriptIntegrationTest, DocumentStartWithoutARootWaitsForOneThenStopsWatching) {
    const auto result =
        runScenario(NativePreferencesJavaScript::documentStart(turkishBlack()), std::string(kDescribeRoot) + R"(
const page = createPage({ withRoot: false });
page.run(script);
const watching = page.document.observers.size;
page.document.appendRoot();
console.log(JSON.stringify({
  watching,
  root: describeRoot(page.document.documentElement),
  afterRoot: page.document.observers.size,
}));
)");
    EXPECT_EQ(result["watching"], 1);
    EXPECT_EQ(result["root"], kTurkishBlackRoot);
    EXPECT_EQ(result["afterRoot"], 0) << "the observer is disconnected once the root is written";
}

TEST(NativePreferencesJavaScriptIntegrationTest, BroadcastPublishesWritesTheRootAndDispatchesOneEvent) {
    for (const bool withRoot : {true, false}) {
        SCOPED_TRACE(withRoot ? "with a root" : "without a root");
        const auto result = runScenario(NativePreferencesJavaScript::broadcast(turkishBlack()),
                                        std::string(kDescribeRoot) + "const page = createPage({ withRoot: " +
                                            (withRoot ? "true" : "false") + R"( });
page.window.__MURMO_NATIVE_AVAILABLE__ = 'untouched';
const heard = [];
page.window.addEventListener('murmo:native-preferences-changed', (event) => heard.push(event.detail));
page.run(script);
console.log(JSON.stringify({
  root: describeRoot(page.document.documentElement) || null,
  available: page.window.__MURMO_NATIVE_AVAILABLE__,
  events: heard.length,
  sameSnapshot: heard[0] === page.window.__MURMO_NATIVE_PREFERENCES__,
  frozen: Object.isFrozen(heard[0]),
  revision: heard[0].revision,
}));
)");
        EXPECT_EQ(result["root"], withRoot ? kTurkishBlackRoot : json());
        EXPECT_EQ(result["available"], "untouched");
        EXPECT_EQ(result["events"], 1);
        EXPECT_EQ(result["sameSnapshot"], true);
        EXPECT_EQ(result["frozen"], true);
        EXPECT_EQ(result["revision"], 3);
    }
}

}  // namespace
}  // namespace murmo
