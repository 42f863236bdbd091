// Key presses as the window's handlers see them: a 16-bit virtual-key code and the set of
// modifier keys held.
#pragma once

#include <cstdint>

#include "serial/Set.h"

enum TShiftStateFlag : std::uint8_t { ssShift, ssAlt, ssCtrl };
using TShiftState = TSet<TShiftStateFlag, std::uint8_t>;

// The virtual-key code of F5.
inline constexpr std::uint16_t kKeyF5 = 116;
