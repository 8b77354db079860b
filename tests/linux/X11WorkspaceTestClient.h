#pragma once

// The X test client started with options: the launcher takes a program
// alone, so a script in `folder` passes them on (exec keeps the client's pid).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/TemporaryDirectory.h"
#include "support/XTestClientProcess.h"

namespace murmo::testing {

inline std::unique_ptr<XTestClientProcess> launchTestClient(TemporaryDirectory& folder,
                                                            const std::vector<std::string>& options) {
    static int launched = 0;
    std::string script = "#!/bin/sh\nexec '" + std::string(MURMO_X_TEST_CLIENT_PATH) + "'";
    for (const auto& option : options) script += " '" + option + "'";
    const auto path = folder.writeFile("client-" + std::to_string(++launched) + ".sh", script + "\n",
                                       std::filesystem::perms::owner_all);
    auto client = XTestClientProcess::launch(path.string());
    EXPECT_TRUE(client) << client.error().message;
    return client ? std::move(*client) : nullptr;
}

}  // namespace murmo::testing
