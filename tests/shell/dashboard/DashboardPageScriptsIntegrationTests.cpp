#include "shell/dashboard/DashboardPageScripts.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/NodeScript.h"

namespace murmo {
namespace {

using nlohmann::json;
using testing::javaScriptString;
using testing::runStubPageProgram;

namespace scripts = DashboardPageScripts;

// Runs `scenario` in Node.js with the stub page module loaded and `scripts`
// bound to the generated scripts (an array of strings); returns the JSON the
// scenario prints.
json runScenario(const std::vector<std::string>& generated, std::string_view scenario) {
    std::string list = "[";
    for (const auto& script : generated) list += javaScriptString(script) + ",\n";
    list += "]";
    const auto program = "const scripts = " + list + ";\n" + std::string(scenario);
    auto printed = runStubPageProgram(program);
    if (!printed) {
        ADD_FAILURE() << printed.error().message;
        return json();
    }
    return *printed;
}

std::string required(std::optional<std::string> script) {
    EXPECT_TRUE(script);
    return script.value_or("");
}

// Values that break naive quoting: quotes of both kinds, backslashes, line
// breaks, the line separator JavaScript once refused in string literals, a
// NUL and text outside the basic plane.
const std::vector<std::string> kAwkwardValues = {
    "op-1",
    "it's \"quoted\"",
    "back\\slash \\n \\u0041",
    "line\nbreak\r\nand\ttab",
    "separator\u2028paragraph\u2029",
    std::string("nul\0inside", 10),
    "</script><script>alert(1)</script> ${x} `tick`",
    "emoji \U0001F600 and I\u0307",
};

TEST(DashboardPageScriptsIntegrationTest, DictationCallsHandThePageItsValuesUnchanged) {
    std::vector<std::string> generated;
    json expected = json::array();
    for (std::size_t i = 0; i < kAwkwardValues.size(); ++i) {
        const auto& id = kAwkwardValues[i];
        const auto& text = kAwkwardValues[(i + 1) % kAwkwardValues.size()];
        generated.push_back(required(scripts::reserveDictation(id)));
        generated.push_back(required(scripts::deliverDictation(id, text)));
        generated.push_back(required(scripts::cancelDictation(id)));
        expected.push_back({"reserve", id});
        expected.push_back({"deliver", id, text});
        expected.push_back({"cancel", id});
    }
    const auto result = runScenario(generated, R"(
const page = createPage();
const calls = [];
page.window.dorvexReserveDictation = (...args) => { calls.push(['reserve', ...args]); };
page.window.dorvexDeliverDictation = (...args) => { calls.push(['deliver', ...args]); return true; };
page.window.dorvexCancelDictation = (...args) => { calls.push(['cancel', ...args]); };
const results = scripts.map((script) => page.run(script));
console.log(JSON.stringify({ calls, delivered: results.filter((result) => result === true).length }));
)");
    EXPECT_EQ(result["calls"], expected);
    EXPECT_EQ(result["delivered"], kAwkwardValues.size()) << "deliver's result is the page function's";
}

TEST(DashboardPageScriptsIntegrationTest, APageWithoutTheFunctionsIgnoresTheCalls) {
    const auto result =
        runScenario({required(scripts::reserveDictation("op-1")), required(scripts::deliverDictation("op-1", "text")),
                     required(scripts::cancelDictation("op-1"))},
                    R"(
const page = createPage();
console.log(JSON.stringify(scripts.map((script) => typeof page.run(script))));
)");
    EXPECT_EQ(result, json::array({"undefined", "undefined", "undefined"}));
}

TEST(DashboardPageScriptsIntegrationTest, TheAudioFailureEventCarriesItsDetailUnchanged) {
    std::vector<std::string> generated;
    json expected = json::array();
    for (const auto& value : kAwkwardValues) {
        generated.push_back(required(scripts::nativeAudioFailure(value, "audio_engine_failed", value)));
        expected.push_back({{"operation_id", value}, {"code", "audio_engine_failed"}, {"message", value}});
    }
    const auto result = runScenario(generated, R"(
const page = createPage();
const details = [];
page.window.addEventListener('dorvex:native-audio-error', (event) => details.push(event.detail));
scripts.forEach((script) => page.run(script));
console.log(JSON.stringify(details));
)");
    EXPECT_EQ(result, expected);
}

TEST(DashboardPageScriptsIntegrationTest, WindowActivityIsSetBeforeItsEvent) {
    const auto result = runScenario({scripts::windowActivity(true), scripts::windowActivity(false)}, R"(
const page = createPage();
const heard = [];
page.window.addEventListener('dorvex:window-activity', () => heard.push(page.window.__DORVEX_WINDOW_ACTIVE__));
scripts.forEach((script) => page.run(script));
console.log(JSON.stringify(heard));
)");
    EXPECT_EQ(result, json::array({true, false}));
}

TEST(DashboardPageScriptsIntegrationTest, SidebarCallsThePageFunctionOrElseSendsAnEvent) {
    const auto result = runScenario(
        {scripts::sidebar(NativeSidebarPreference::collapsed), scripts::sidebar(NativeSidebarPreference::expanded)}, R"(
const withFunction = createPage();
const calls = [];
withFunction.window.murmoSetDesktopSidebar = (...args) => calls.push(args);
const eventsBeside = [];
withFunction.window.addEventListener('murmo:native-sidebar', (event) => eventsBeside.push(event.detail));
scripts.forEach((script) => withFunction.run(script));

const withoutFunction = createPage();
const events = [];
withoutFunction.window.addEventListener('murmo:native-sidebar', (event) => events.push(event.detail));
scripts.forEach((script) => withoutFunction.run(script));
console.log(JSON.stringify({ calls, eventsBeside, events }));
)");
    EXPECT_EQ(result["calls"], json::parse(R"([["collapsed", {"persist": true, "source": "native"}],
                                                ["expanded", {"persist": true, "source": "native"}]])"));
    EXPECT_EQ(result["eventsBeside"], json::array());
    EXPECT_EQ(result["events"], json::parse(R"([{"state": "collapsed"}, {"state": "expanded"}])"));
}

TEST(DashboardPageScriptsIntegrationTest, SettingsMoveTheHashThenAnnounceIt) {
    const auto result = runScenario(
        {scripts::selectSettings(NativeSettingsSection::privacy),
         scripts::selectSettings(NativeSettingsSection::personalize), std::string(scripts::permissionsChanged())},
        R"(
const page = createPage();
page.window.location = { hash: '' };
const heard = [];
page.window.addEventListener('hashchange', () => heard.push(page.window.location.hash));
page.window.addEventListener('murmo:native-permissions-changed', () => heard.push('permissions'));
scripts.forEach((script) => page.run(script));
console.log(JSON.stringify(heard));
)");
    EXPECT_EQ(result, json::array({"/settings/privacy", "/personalize", "permissions"}));
}

TEST(DashboardPageScriptsIntegrationTest, PrepareToCloseAwaitsThePageOrLooksForAnOpenEditor) {
    const auto result = runScenario({std::string(scripts::prepareToCloseFunctionBody())}, R"(
const ask = (page) => page.run(`(async function () {\n${scripts[0]}\n})()`);
const withEditor = (page) => {
  const editor = page.document.createElement('div');
  editor.classList.add('writing-workspace');
  page.document.body.appendChild(editor);
  return page;
};
const cases = {
  promiseOfTrue: () => {
    const page = createPage({ withBody: true });
    page.window.dorvexPrepareToClose = () => Promise.resolve(true);
    return withEditor(page);
  },
  false: () => {
    const page = createPage({ withBody: true });
    page.window.dorvexPrepareToClose = () => false;
    return page;
  },
  one: () => {
    const page = createPage({ withBody: true });
    page.window.dorvexPrepareToClose = async () => 1;
    return page;
  },
  noFunctionNoEditor: () => createPage({ withBody: true }),
  noFunctionWithEditor: () => withEditor(createPage({ withBody: true })),
  notAFunction: () => {
    const page = createPage({ withBody: true });
    page.window.dorvexPrepareToClose = true;
    return withEditor(page);
  },
};
(async () => {
  const answers = {};
  for (const [name, make] of Object.entries(cases)) answers[name] = await ask(make());
  console.log(JSON.stringify(answers));
})();
)");
    EXPECT_EQ(result, json::parse(R"({"promiseOfTrue": true, "false": false, "one": 1,
                                      "noFunctionNoEditor": true, "noFunctionWithEditor": false,
                                      "notAFunction": false})"));
}

TEST(DashboardPageScriptsIntegrationTest, UIStatePublishesAFrozenStateAndTheRootsPreference) {
    const auto result = runScenario(
        {scripts::uiState(NativeSidebarPreference::collapsed, std::vector<std::string>{"email-workflow-v1"})},
        R"(
const page = createPage();
page.run(scripts[0]);
const state = page.window.__MURMO_NATIVE_UI_STATE__;
console.log(JSON.stringify({
  state,
  frozen: Object.isFrozen(state),
  preference: page.document.documentElement.dataset.nativeSidebarPreference,
}));
)");
    EXPECT_EQ(result["state"], json::parse(R"({"sidebar": "collapsed", "dismissedCards": ["email-workflow-v1"]})"));
    EXPECT_EQ(result["frozen"], true);
    EXPECT_EQ(result["preference"], "collapsed");
}

// What the native host script leaves in a page, as the scenarios print it.
constexpr std::string_view kDescribeHost = R"(
const describeHost = (page) => {
  const styles = [...page.document.elements()].filter((element) => element.id === 'murmo-native-host-style');
  return {
    bodyClasses: page.document.body ? page.document.body.classList.names : null,
    styles: styles.map((style) => ({ tag: style.tagName, parent: style.parentNode.tagName, text: style.textContent })),
    loadListeners: page.document.listenerCount('DOMContentLoaded'),
  };
};
)";

const json kHostStyleText = ".traffic-lights{visibility:hidden!important}.dictation-hud{display:none!important}";

TEST(DashboardPageScriptsIntegrationTest, NativeHostAddsTheClassAndOneStyleHoweverOftenItRuns) {
    const auto result = runScenario({std::string(scripts::nativeHost())}, std::string(kDescribeHost) + R"(
// At document start: a root, no head or body yet.
const page = createPage();
page.run(scripts[0]);
page.run(scripts[0]);
const atStart = describeHost(page);
page.document.appendBody();
page.document.finishLoading();
const loaded = describeHost(page);
page.run(scripts[0]);
page.document.finishLoading();
const again = describeHost(page);

// A document that has its head and body already.
const complete = createPage({ withHead: true, withBody: true });
complete.run(scripts[0]);
complete.run(scripts[0]);

// Nowhere to put the style: nothing happens, nothing fails.
const empty = createPage({ withRoot: false });
empty.run(scripts[0]);
console.log(JSON.stringify({
  atStart, loaded, again, complete: describeHost(complete),
  empty: { styles: [...empty.document.elements()].length, loadListeners: empty.document.listenerCount('DOMContentLoaded') },
}));
)");
    const json inRoot = json::array({{{"tag", "STYLE"}, {"parent", "HTML"}, {"text", kHostStyleText}}});
    EXPECT_EQ(result["atStart"], json({{"bodyClasses", nullptr}, {"styles", inRoot}, {"loadListeners", 2}}));
    EXPECT_EQ(result["loaded"],
              json({{"bodyClasses", json::array({"native-hosted"})}, {"styles", inRoot}, {"loadListeners", 0}}));
    EXPECT_EQ(result["again"], result["loaded"]);
    EXPECT_EQ(result["complete"],
              json({{"bodyClasses", json::array({"native-hosted"})},
                    {"styles", json::array({{{"tag", "STYLE"}, {"parent", "HEAD"}, {"text", kHostStyleText}}})},
                    {"loadListeners", 2}}));
    EXPECT_EQ(result["empty"], json({{"styles", 0}, {"loadListeners", 1}}));
}

}  // namespace
}  // namespace murmo
