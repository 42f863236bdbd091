// The serial port component: the port and its settings, reading and line status, the
// monitoring thread, links for attached controls, and EComPort.
#pragma once

#include "serial/ComError.h"
#include "serial/ComPort.h"
#include "serial/ComSettings.h"
#include "serial/ComTransfer.h"
#include "serial/ComTypes.h"
#include "serial/Component.h"
