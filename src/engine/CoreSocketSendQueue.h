#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "engine/CoreTransport.h"
#include "runtime/Clock.h"

namespace murmo {

enum class SocketSendKind { nativeAudioBegin, nativeAudioData, nativeAudioEnd, nativeAudioCancel };

// One outgoing frame of the event socket.
struct SocketSendItem {
    // Fresh for every item; given by the queue.
    std::uint64_t id = 0;
    CoreSocketMessage message;
    std::string operationID;
    SocketSendKind kind = SocketSendKind::nativeAudioBegin;
    // Byte length of the audio of a data frame; 0 for control frames.
    std::int64_t audioByteCount = 0;
    // Pause after sending this frame; zero for control frames.
    Duration drainDelay{};
};

// The one ordered queue that carries every outgoing frame of every
// operation, with the count of audio bytes waiting in it (never below 0).
class CoreSocketSendQueue {
public:
    // Appends at the tail; returns the item's id.
    std::uint64_t enqueue(SocketSendItem item);

    bool empty() const { return items_.empty(); }
    std::size_t size() const { return items_.size(); }
    const SocketSendItem& front() const { return items_.front(); }
    const std::deque<SocketSendItem>& items() const { return items_; }
    std::int64_t queuedAudioBytes() const { return queuedAudioBytes_; }

    // Removes the item if it is still queued; false when it is gone already.
    bool remove(std::uint64_t id);
    // Every item of the operation, keeping the order of the rest.
    void removeItems(std::string_view operationID);
    void removeItems(std::string_view operationID, SocketSendKind kind);
    void clear();

private:
    template <class Predicate>
    void removeWhere(Predicate predicate);
    void subtract(std::int64_t bytes);

    std::deque<SocketSendItem> items_;
    std::int64_t queuedAudioBytes_ = 0;
    std::uint64_t nextID_ = 1;
};

}  // namespace murmo
