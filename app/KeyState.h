// Key presses as the window's handlers see them: a 16-bit virtual-key code and the set of
// modifier keys held.
#pragma once

#include <cstdint>

#include "serial/Set.h"

class QKeyEvent;

enum TShiftStateFlag : std::uint8_t { ssShift, ssAlt, ssCtrl };
using TShiftState = TSet<TShiftStateFlag, std::uint8_t>;

inline constexpr std::uint16_t VK_F5 = 116;

// The virtual-key code of a Qt key (letters, digits, F1-F24, the common editing keys);
// 0 for a key without one.
std::uint16_t VirtualKeyOf(const QKeyEvent& event);
TShiftState ShiftStateOf(const QKeyEvent& event);
