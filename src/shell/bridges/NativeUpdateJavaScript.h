#pragma once

// The page's door to the update bridge: a document-start script that defines
// window.murmoNativeUpdate, a frozen object the page can neither replace,
// delete nor enumerate, whose functions post to the "murmoNativeUpdate"
// handler and return postMessage's promise, so the page gets the bridge's
// answer or error. Without that handler (or one without a postMessage
// function) the script defines nothing.

#include <string_view>

namespace murmo::NativeUpdateJavaScript {

// The facade's version, as the page reads it from contractVersion.
inline constexpr int contractVersion = 1;

// The script text, installed at document start in the main frame. The two
// switches refuse a value that is not a boolean with a TypeError ("enabled
// must be a boolean") before anything is posted.
std::string_view documentStart();

}  // namespace murmo::NativeUpdateJavaScript
