#include "platform/linux/X11GrabVariants.h"

#include <algorithm>

#include "platform/KeyTap.h"

namespace murmo {

namespace {

// Every union of a subset of `masks` (duplicates and zeros dropped first).
std::vector<unsigned> unionsOfSubsets(std::vector<unsigned> masks) {
    std::erase(masks, 0u);
    std::sort(masks.begin(), masks.end());
    masks.erase(std::unique(masks.begin(), masks.end()), masks.end());
    std::vector<unsigned> unions{0};
    for (const unsigned mask : masks) {
        const auto count = unions.size();
        for (std::size_t i = 0; i < count; ++i) unions.push_back(unions[i] | mask);
    }
    std::sort(unions.begin(), unions.end());
    unions.erase(std::unique(unions.begin(), unions.end()), unions.end());
    return unions;
}

}  // namespace

X11GrabVariants X11GrabVariants::forFlags(std::uint64_t flags, const X11ModifierMasks& masks) {
    namespace f = key_event_flags;
    unsigned required = 0;
    std::vector<unsigned> extra;
    for (const auto& [flag, mask] : {std::pair{f::shift, masks.shift}, std::pair{f::control, masks.control},
                                     std::pair{f::alternate, masks.option}, std::pair{f::command, masks.command}}) {
        if (flags & flag) {
            required |= mask;
        } else {
            extra.push_back(mask);
        }
    }
    const auto locks = unionsOfSubsets({masks.capsLock, masks.numLock, masks.scrollLock});
    X11GrabVariants variants;
    for (const unsigned lock : locks) variants.exact.push_back(required | lock);
    for (const unsigned more : unionsOfSubsets(extra)) {
        // A modifier both required and extra (one mask for two flags) adds
        // nothing new.
        if ((more & ~required) == 0) continue;
        for (const unsigned lock : locks) variants.wider.push_back(required | more | lock);
    }
    std::sort(variants.wider.begin(), variants.wider.end());
    variants.wider.erase(std::unique(variants.wider.begin(), variants.wider.end()), variants.wider.end());
    return variants;
}

}  // namespace murmo
