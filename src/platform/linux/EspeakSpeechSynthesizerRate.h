#pragma once

namespace murmo {

// Words per minute for the platform's speech rate (0 to 1, 0.5 the normal
// pace): the library's slowest pace at 0, its normal one (175) at 0.5, its
// fastest at 1, linear in between. A rate outside 0 to 1 is clamped; one that
// is not a number is the normal pace.
int espeakWordsPerMinute(float rate);

}  // namespace murmo
