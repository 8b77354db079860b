#include "platform/linux/X11ClipboardPasteboard.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>

#include "platform/linux/X11ClipboardSession.h"

namespace murmo {

namespace {

// A job's answer, handed from the clipboard's thread to the caller.
template <class Value>
struct Answer {
    std::mutex mutex;
    std::condition_variable ready;
    std::optional<Value> value;
};

}  // namespace

Result<std::unique_ptr<X11ClipboardPasteboard>> X11ClipboardPasteboard::open(const std::string& displayName,
                                                                             X11SelectionLimits limits) {
    auto session = X11ClipboardSession::open(displayName, limits);
    if (!session) return std::unexpected(session.error());
    return std::unique_ptr<X11ClipboardPasteboard>(new X11ClipboardPasteboard(std::move(*session), limits));
}

X11ClipboardPasteboard::X11ClipboardPasteboard(std::unique_ptr<X11ClipboardSession> session,
                                               X11SelectionLimits limits)
    : limits_(limits),
      takeoverBound_(X11ClipboardSession::kTimestampTimeout + kWorkerSlack),
      session_(std::move(session)) {
    thread_ = std::thread([this] { run(); });
}

X11ClipboardPasteboard::~X11ClipboardPasteboard() {
    {
        const std::lock_guard lock(jobsMutex_);
        stopping_ = true;
    }
    wakeup_.signal();
    thread_.join();
}

template <class Value>
std::optional<Value> X11ClipboardPasteboard::ask(std::chrono::milliseconds bound,
                                                 std::function<Value(X11ClipboardSession&)> work) {
    auto answer = std::make_shared<Answer<Value>>();
    {
        const std::lock_guard lock(jobsMutex_);
        jobs_.push_back([answer, work = std::move(work)](X11ClipboardSession& session) {
            auto value = work(session);
            const std::lock_guard answerLock(answer->mutex);
            answer->value = std::move(value);
            answer->ready.notify_all();
        });
    }
    wakeup_.signal();
    std::unique_lock lock(answer->mutex);
    answer->ready.wait_for(lock, bound, [&] { return answer->value.has_value(); });
    return std::move(answer->value);
}

std::int64_t X11ClipboardPasteboard::changeCount() {
    const auto count = ask<std::int64_t>(kWorkerSlack, [](X11ClipboardSession& session) { return session.changeCount(); });
    if (count) lastChangeCount_ = *count;
    return lastChangeCount_;
}

std::optional<std::vector<PasteboardItemReference>> X11ClipboardPasteboard::items() {
    using Listed = std::optional<std::vector<PasteboardItemReference>>;
    const auto listed = ask<Listed>(limits_.conversionTimeout + kWorkerSlack,
                                    [](X11ClipboardSession& session) { return session.items(); });
    return listed ? *listed : std::nullopt;
}

std::optional<PasteboardBytes> X11ClipboardPasteboard::data(const PasteboardItemReference& item, std::string_view type) {
    using Bytes = std::optional<PasteboardBytes>;
    // The owner's targets when they were not listed at this count, then the
    // data.
    auto bytes = ask<Bytes>(2 * limits_.conversionTimeout + kWorkerSlack,
                            [item, type = std::string(type)](X11ClipboardSession& session) {
                                return session.data(item, type);
                            });
    return bytes ? std::move(*bytes) : std::nullopt;
}

std::int64_t X11ClipboardPasteboard::clearContents() {
    const auto count =
        ask<std::int64_t>(takeoverBound_, [](X11ClipboardSession& session) { return session.clear(); });
    if (count) lastChangeCount_ = *count;
    return lastChangeCount_;
}

bool X11ClipboardPasteboard::writeItems(const std::vector<PasteboardItem>& items) {
    return ask<bool>(kWorkerSlack, [items](X11ClipboardSession& session) { return session.write(items); })
        .value_or(false);
}

bool X11ClipboardPasteboard::replaceContents(const std::vector<PasteboardItem>& items) {
    return ask<bool>(takeoverBound_, [items](X11ClipboardSession& session) { return session.replace(items); })
        .value_or(false);
}

void X11ClipboardPasteboard::runQueuedJobs() {
    for (;;) {
        Job job;
        {
            const std::lock_guard lock(jobsMutex_);
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job(*session_);
    }
}

void X11ClipboardPasteboard::run() {
    for (;;) {
        wakeup_.acknowledge();
        runQueuedJobs();
        {
            const std::lock_guard lock(jobsMutex_);
            if (stopping_) break;
        }
        session_->dispatchPending();
        session_->runHousekeeping();
        int timeout = -1;
        if (const auto due = session_->nextDeadline()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
        }
        // A broken connection stays readable for ever: only jobs wake us then.
        std::array<pollfd, 2> waits{pollfd{.fd = wakeup_.fd(), .events = POLLIN, .revents = 0},
                                    pollfd{.fd = session_->fileDescriptor(), .events = POLLIN, .revents = 0}};
        const nfds_t watched = session_->isBroken() ? 1 : 2;
        if (::poll(waits.data(), watched, timeout) < 0 && errno != EINTR) break;
    }
    session_->offerToClipboardManager();
    session_.reset();
}

}  // namespace murmo
