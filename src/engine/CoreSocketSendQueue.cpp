#include "engine/CoreSocketSendQueue.h"

#include <algorithm>

namespace murmo {

std::uint64_t CoreSocketSendQueue::enqueue(SocketSendItem item) {
    item.id = nextID_++;
    queuedAudioBytes_ += std::max<std::int64_t>(item.audioByteCount, 0);
    items_.push_back(std::move(item));
    return items_.back().id;
}

bool CoreSocketSendQueue::remove(std::uint64_t id) {
    auto found = std::find_if(items_.begin(), items_.end(), [id](const auto& item) { return item.id == id; });
    if (found == items_.end()) return false;
    subtract(found->audioByteCount);
    items_.erase(found);
    return true;
}

template <class Predicate>
void CoreSocketSendQueue::removeWhere(Predicate predicate) {
    auto kept = std::stable_partition(items_.begin(), items_.end(),
                                      [&](const SocketSendItem& item) { return !predicate(item); });
    for (auto it = kept; it != items_.end(); ++it) subtract(it->audioByteCount);
    items_.erase(kept, items_.end());
}

void CoreSocketSendQueue::removeItems(std::string_view operationID) {
    removeWhere([&](const SocketSendItem& item) { return item.operationID == operationID; });
}

void CoreSocketSendQueue::removeItems(std::string_view operationID, SocketSendKind kind) {
    removeWhere([&](const SocketSendItem& item) { return item.operationID == operationID && item.kind == kind; });
}

void CoreSocketSendQueue::clear() {
    items_.clear();
    queuedAudioBytes_ = 0;
}

void CoreSocketSendQueue::subtract(std::int64_t bytes) {
    queuedAudioBytes_ = std::max<std::int64_t>(queuedAudioBytes_ - std::max<std::int64_t>(bytes, 0), 0);
}

}  // namespace murmo
