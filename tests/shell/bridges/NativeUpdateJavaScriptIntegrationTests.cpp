#include "shell/bridges/NativeUpdateJavaScript.h"

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "support/NodeScript.h"

namespace murmo {
namespace {

using nlohmann::json;
using testing::javaScriptString;
using testing::runStubPageProgram;

// Runs `scenario` in Node, inside an async function, after loading the stub
// page module and binding `script` to the facade; returns the JSON the
// scenario prints.
json runScenario(std::string_view scenario) {
    const auto program = "const script = " + javaScriptString(NativeUpdateJavaScript::documentStart()) +
                         ";\n(async () => {\n" + std::string(scenario) +
                         "\n})().catch((error) => { console.error(error); process.exit(1); });\n";
    auto printed = runStubPageProgram(program);
    if (!printed) {
        ADD_FAILURE() << printed.error().message;
        return json();
    }
    return *printed;
}

// A page whose handler records each body and answers with a promise of its
// own, so a scenario can tell that the facade hands that very promise back.
constexpr std::string_view kPageWithHandler = R"(
const page = createPage();
const posted = [];
const answers = [];
page.window.webkit = { messageHandlers: { murmoNativeUpdate: {
  postMessage(body) {
    posted.push(body);
    const answer = Promise.resolve({ request_result: 'ready', echoed: body.action });
    answers.push(answer);
    return answer;
  },
} } };
page.run(script);
const facade = page.window.murmoNativeUpdate;
)";

TEST(NativeUpdateJavaScriptIntegrationTest, EachFunctionPostsItsBodyAndReturnsTheHandlersPromise) {
    const auto result = runScenario(std::string(kPageWithHandler) + R"(
const calls = [facade.status(), facade.check(), facade.setAutomaticChecks(false),
               facade.setAutomaticDownloads(true)];
console.log(JSON.stringify({
  contractVersion: facade.contractVersion,
  posted,
  sameAnswers: calls.every((call, index) => call === answers[index]),
  results: await Promise.all(calls),
}));
)");
    EXPECT_EQ(result["contractVersion"], NativeUpdateJavaScript::contractVersion);
    EXPECT_EQ(result["posted"], json::parse(R"([{"action":"status"},{"action":"check"},
        {"action":"set_automatic_checks","enabled":false},{"action":"set_automatic_downloads","enabled":true}])"));
    EXPECT_EQ(result["sameAnswers"], true);
    EXPECT_EQ(result["results"][3], json::parse(R"({"request_result":"ready","echoed":"set_automatic_downloads"})"));
}

TEST(NativeUpdateJavaScriptIntegrationTest, TheSwitchesRefuseAnythingButABooleanWithoutPosting) {
    const auto result = runScenario(std::string(kPageWithHandler) + R"(
const pageTypeError = page.run('TypeError');
const refusals = [];
for (const value of ['true', 1, 0, null, undefined, {}]) {
  for (const call of [facade.setAutomaticChecks, facade.setAutomaticDownloads]) {
    try {
      await call(value);
      refusals.push('resolved');
    } catch (error) {
      refusals.push({ isTypeError: error instanceof pageTypeError, message: error.message });
    }
  }
}
console.log(JSON.stringify({ refusals, posted: posted.length }));
)");
    ASSERT_EQ(result["refusals"].size(), 12u);
    for (const auto& refusal : result["refusals"]) {
        EXPECT_EQ(refusal, json::parse(R"({"isTypeError":true,"message":"enabled must be a boolean"})"));
    }
    EXPECT_EQ(result["posted"], 0);
}

TEST(NativeUpdateJavaScriptIntegrationTest, PageCodeCanNeitherReplaceDeleteListNorChangeTheFacade) {
    const auto result = runScenario(std::string(kPageWithHandler) + R"js(
const attempt = (source) => {
  try { page.run(source); return 'done'; } catch (error) { return error.name; }
};
const descriptor = Object.getOwnPropertyDescriptor(page.window, 'murmoNativeUpdate');
console.log(JSON.stringify({
  descriptor: { writable: descriptor.writable, enumerable: descriptor.enumerable,
                configurable: descriptor.configurable },
  frozen: Object.isFrozen(facade),
  replaced: attempt("'use strict'; window.murmoNativeUpdate = {};"),
  // Node's contexts answer false here where a browser's strict code throws.
  deleted: page.run("delete window.murmoNativeUpdate"),
  redefined: attempt("Object.defineProperty(window, 'murmoNativeUpdate', { value: 1 });"),
  memberChanged: attempt("'use strict'; window.murmoNativeUpdate.check = () => 'mine';"),
  memberAdded: attempt("'use strict'; window.murmoNativeUpdate.install = () => 'mine';"),
  sloppyReplace: attempt("window.murmoNativeUpdate = {}; delete window.murmoNativeUpdate;"),
  listed: Object.keys(page.window).includes('murmoNativeUpdate') ||
          page.run("(() => { for (const key in window) if (key === 'murmoNativeUpdate') return true; return false; })()"),
  stillTheFacade: page.window.murmoNativeUpdate === facade,
  checkAnswers: (await facade.check()).echoed,
}));
)js");
    EXPECT_EQ(result["descriptor"], json::parse(R"({"writable":false,"enumerable":false,"configurable":false})"));
    EXPECT_EQ(result["frozen"], true);
    EXPECT_EQ(result["replaced"], "TypeError");
    EXPECT_EQ(result["deleted"], false);
    EXPECT_EQ(result["redefined"], "TypeError");
    EXPECT_EQ(result["memberChanged"], "TypeError");
    EXPECT_EQ(result["memberAdded"], "TypeError");
    EXPECT_EQ(result["sloppyReplace"], "done") << "ignored silently outside strict mode";
    EXPECT_EQ(result["listed"], false);
    EXPECT_EQ(result["stillTheFacade"], true);
    EXPECT_EQ(result["checkAnswers"], "check");
}

TEST(NativeUpdateJavaScriptIntegrationTest, WithoutAUsableHandlerNothingIsDefined) {
    const auto result = runScenario(R"(
const pages = {
  noWebKit: undefined,
  noHandlers: {},
  otherHandler: { messageHandlers: { murmoPermissions: { postMessage: () => Promise.resolve({}) } } },
  postMessageNotAFunction: { messageHandlers: { murmoNativeUpdate: { postMessage: 'not a function' } } },
  noPostMessage: { messageHandlers: { murmoNativeUpdate: {} } },
};
const defined = {};
for (const [name, webkit] of Object.entries(pages)) {
  const page = createPage();
  if (webkit !== undefined) page.window.webkit = webkit;
  page.run(script);
  defined[name] = 'murmoNativeUpdate' in page.window;
}
console.log(JSON.stringify(defined));
)");
    EXPECT_EQ(result, json::parse(R"({"noWebKit":false,"noHandlers":false,"otherHandler":false,
        "postMessageNotAFunction":false,"noPostMessage":false})"));
}

}  // namespace
}  // namespace murmo
