#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Error.h"
#include "runtime/URL.h"

namespace murmo {

// One GET of a page's main document over HTTP: what a stand-in for a web
// engine needs of the network. It answers with the HTTP status of the reply,
// whatever it is, or with the error of a connection that gave no reply.
struct PageFetchRequest {
    URL url;
    std::vector<std::pair<std::string, std::string>> headers;
    bool ignoreLocalCache = false;
};

// The reply's HTTP status, or the connection's failure.
using PageFetchResult = Result<int>;
// May run on any thread, even inside fetch().
using PageFetchCompletion = std::function<void(PageFetchResult)>;

class PageFetcher {
public:
    virtual ~PageFetcher() = default;

    // Exactly one completion per fetch. A fetch cannot be withdrawn: whoever
    // no longer wants the answer ignores it.
    virtual void fetch(PageFetchRequest request, PageFetchCompletion completion) = 0;
};

}  // namespace murmo
