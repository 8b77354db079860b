#include "engine/CoreTransportPageFetcher.h"

namespace murmo {

CoreTransportPageFetcher::CoreTransportPageFetcher(std::shared_ptr<CoreTransport> transport)
    : transport_(std::move(transport)) {}

CoreHTTPRequest CoreTransportPageFetcher::exchangeFor(PageFetchRequest request) {
    CoreHTTPRequest exchange;
    exchange.url = std::move(request.url);
    exchange.method = "GET";
    exchange.headers = std::move(request.headers);
    if (request.ignoreLocalCache) exchange.headers.emplace_back("Cache-Control", "no-cache");
    return exchange;
}

void CoreTransportPageFetcher::fetch(PageFetchRequest request, PageFetchCompletion completion) {
    transport_->sendHTTP(exchangeFor(std::move(request)),
                         [completion = std::move(completion)](Result<CoreHTTPResponse> response) {
                             if (!response) {
                                 completion(std::unexpected(std::move(response.error())));
                                 return;
                             }
                             completion(response->status);
                         });
}

}  // namespace murmo
