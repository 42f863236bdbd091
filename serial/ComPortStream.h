// Restores a port from its stored description: "Name = value" lines between
// "object <name>: TComPort" and "end", as the window's stored layout keeps them. Values are
// enumeration names, numbers, True/False, 'quoted text', [set, members] or a handler name,
// which `bindEvent` resolves. Setters only store while the port loads; FinishLoading ends it.
#pragma once

#include <functional>
#include <string>

class TCustomComPort;

using TEventBinder = std::function<void(const std::string& Event, const std::string& Handler)>;

// Raises Exception on a property or value the port does not have.
void LoadComPortDescription(TCustomComPort& Port, const std::string& Description,
                            const TEventBinder& bindEvent);
