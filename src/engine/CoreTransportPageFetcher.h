#pragma once

#include <memory>

#include "engine/CoreTransport.h"
#include "platform/PageFetcher.h"

namespace murmo {

// Fetches pages with one HTTP exchange of the engine transport each, so the
// stand-in for the web engine reaches the engine's page the way the client
// reaches its API. A load that ignores the local cache asks every cache on the
// way to do the same ("Cache-Control: no-cache"), as a web engine's reload
// does. The body is read and dropped (the stand-in runs no page); completions
// run on the transport's thread.
class CoreTransportPageFetcher final : public PageFetcher {
public:
    explicit CoreTransportPageFetcher(std::shared_ptr<CoreTransport> transport);

    void fetch(PageFetchRequest request, PageFetchCompletion completion) override;

    // The exchange fetch() sends for `request`.
    static CoreHTTPRequest exchangeFor(PageFetchRequest request);

private:
    std::shared_ptr<CoreTransport> transport_;
};

}  // namespace murmo
