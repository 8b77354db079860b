#include "platform/LoginItem.h"

#include "runtime/ExecutableFile.h"

namespace murmo {

bool isLaunchableApplicationBundle(const Bundle& bundle) {
    if (bundle.bundleURL().extension() != ".app") return false;
    if (!bundle.bundleIdentifier()) return false;
    const auto executable = bundle.executableURL();
    return executable && isExecutableFile(*executable);
}

}  // namespace murmo
