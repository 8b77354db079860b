#include "platform/linux/EspeakSpeechSynthesizerRate.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>

namespace murmo {

int espeakWordsPerMinute(float rate) {
    if (std::isnan(rate)) return espeakRATE_NORMAL;
    const double clamped = std::clamp(static_cast<double>(rate), 0.0, 1.0);
    const double wordsPerMinute =
        clamped <= 0.5 ? espeakRATE_MINIMUM + (espeakRATE_NORMAL - espeakRATE_MINIMUM) * (clamped / 0.5)
                       : espeakRATE_NORMAL + (espeakRATE_MAXIMUM - espeakRATE_NORMAL) * ((clamped - 0.5) / 0.5);
    return static_cast<int>(std::lround(wordsPerMinute));
}

}  // namespace murmo
