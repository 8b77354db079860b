#pragma once

#include "runtime/EventLoop.h"

namespace murmo {

// The main thread's run loop. Every component of the desktop application lives
// on it; parameters that must be given the main one are named for it.
using MainLoop = EventLoop;

}  // namespace murmo
