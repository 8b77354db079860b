#pragma once

// Film strips of the real HUD controller on the simulated surface: what the
// panel shows, moment by moment, through a dictation, a copy from the
// clipboard offer and an answer replaced by a taller one.

#include <functional>
#include <string>

#include "platform/HUDDisplayList.h"
#include "platform/TextMeasure.h"
#include "runtime/Error.h"

namespace murmo {

using AddScene = std::function<Status(std::string name, std::string caption, const HUDDisplayList& scene)>;

Status writeControllerFilmStrips(const AddScene& add, TextMeasure& measure);

}  // namespace murmo
