// The program's one base exception class: a message text, as every failure reported to
// the user carries.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const { return m_message; }

private:
    std::string m_message;
};

// A failure that is to end an operation without being reported to the user.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};
