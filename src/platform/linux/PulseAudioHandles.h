#pragma once

// Owning handles for libpulse's reference-counted and allocated objects: each
// releases its object once, when it goes. Which thread may release which is
// libpulse's rule: a context, stream or operation only with the loop locked
// (or on the loop thread), a threaded loop only once it is stopped.

#include <memory>

#include <pulse/pulseaudio.h>

namespace murmo {

namespace pulse_detail {

struct ThreadedMainloopFree {
    void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
};
struct ContextUnref {
    void operator()(pa_context* context) const { pa_context_unref(context); }
};
struct StreamUnref {
    void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
};
struct OperationUnref {
    void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};
struct ProplistFree {
    void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};

}  // namespace pulse_detail

using PulseThreadedMainloopHandle = std::unique_ptr<pa_threaded_mainloop, pulse_detail::ThreadedMainloopFree>;
using PulseContextHandle = std::unique_ptr<pa_context, pulse_detail::ContextUnref>;
using PulseStreamHandle = std::unique_ptr<pa_stream, pulse_detail::StreamUnref>;
using PulseOperationHandle = std::unique_ptr<pa_operation, pulse_detail::OperationUnref>;
using PulseProplistHandle = std::unique_ptr<pa_proplist, pulse_detail::ProplistFree>;

}  // namespace murmo
