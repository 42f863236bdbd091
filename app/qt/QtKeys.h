// Qt's key events as virtual-key codes and shift states.
#pragma once

#include "app/KeyState.h"

class QKeyEvent;

// The virtual-key code of a Qt key (letters, digits, F1-F24, the common editing keys);
// 0 for a key without one.
std::uint16_t VirtualKeyOf(const QKeyEvent& event);
TShiftState ShiftStateOf(const QKeyEvent& event);
