#include "shell/bridges/NativeUpdateJavaScript.h"

namespace murmo::NativeUpdateJavaScript {

namespace {

// The handler is taken once, at document start: page code that later
// replaces window.webkit does not redirect the facade.
constexpr std::string_view kDocumentStart = R"((() => {
  'use strict';
  const handler = window.webkit?.messageHandlers?.murmoNativeUpdate;
  if (!handler || typeof handler.postMessage !== 'function') return;
  const post = (body) => handler.postMessage(body);
  const setter = (action) => (enabled) => {
    if (typeof enabled !== 'boolean') return Promise.reject(new TypeError('enabled must be a boolean'));
    return post({ action, enabled });
  };
  Object.defineProperty(window, 'murmoNativeUpdate', {
    value: Object.freeze({
      contractVersion: 1,
      status: () => post({ action: 'status' }),
      check: () => post({ action: 'check' }),
      setAutomaticChecks: setter('set_automatic_checks'),
      setAutomaticDownloads: setter('set_automatic_downloads'),
    }),
    configurable: false,
    enumerable: false,
    writable: false,
  });
})();
)";

}  // namespace

std::string_view documentStart() { return kDocumentStart; }

}  // namespace murmo::NativeUpdateJavaScript
