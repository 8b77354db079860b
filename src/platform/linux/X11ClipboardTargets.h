#pragma once

// How pasteboard types and X selection targets name each other, without
// talking to a server.
//
// Reading another owner's clipboard: UTF8_STRING and text/plain;charset=utf-8
// are the plain-text type; the targets that describe the conversion itself
// rather than content (TARGETS, TIMESTAMP, MULTIPLE, SAVE_TARGETS, DELETE and
// the like) are left out; every other target is kept as a type of its own,
// by its name, so a snapshot keeps every representation the owner offers.
//
// Serving our own items: plain text goes out under UTF8_STRING and
// text/plain;charset=utf-8 as it is, and under STRING and text/plain as
// Latin-1 when every character of it has a Latin-1 code (ICCCM's STRING is
// Latin-1; text/plain without a charset is read as such by older clients);
// every other type goes out under its own name. A representation given
// explicitly under a target name wins over one derived from the plain text,
// so a snapshot restores byte for byte. The X clipboard holds one item: the
// items are served merged, the first representation of a target winning.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Pasteboard.h"

namespace murmo::x11_clipboard {

inline constexpr std::string_view kUTF8StringTarget = "UTF8_STRING";
inline constexpr std::string_view kUTF8MimeTarget = "text/plain;charset=utf-8";

// Targets that name no content of the clipboard.
bool isMetaTarget(std::string_view target);

// The pasteboard type of an owner's target; absent for meta targets.
std::optional<std::string> typeOfTarget(std::string_view target);

// The owner's targets as the types of one item, in the owner's order, each
// type once.
std::vector<std::string> typesOfTargets(const std::vector<std::string>& targets);

// The targets to ask an owner for the bytes of `type`, best first.
std::vector<std::string> targetsOfType(std::string_view type);

// One target we serve and its bytes.
struct ServedTarget {
    std::string target;
    PasteboardBytes bytes;
    bool operator==(const ServedTarget&) const = default;
};

// What our items offer, by target, in order.
std::vector<ServedTarget> servedTargets(const std::vector<PasteboardItem>& items);

// UTF-8 text as Latin-1; absent when it is no valid UTF-8 or holds a
// character outside Latin-1.
std::optional<PasteboardBytes> latin1(const PasteboardBytes& utf8);

}  // namespace murmo::x11_clipboard
