// The central exception handling's decision: what the user is told of an exception that
// escaped a handler on the main thread. A face shows it in its message box.
#pragma once

#include <exception>
#include <string>

// The message to show (UTF-8); empty for a silent abort.
std::string ExceptionMessage(std::exception_ptr error);
