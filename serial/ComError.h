// EComPort, the serial component's one exception class: a code choosing one of 23
// messages, and the platform error that came with the failure (-1 when none did).
#pragma once

#include <array>
#include <string>

#include "serial/Exception.h"

inline constexpr int CError_OpenFailed = 1;
inline constexpr int CError_WriteFailed = 2;
inline constexpr int CError_ReadFailed = 3;
inline constexpr int CError_InvalidAsync = 4;
inline constexpr int CError_PurgeFailed = 5;
inline constexpr int CError_AsyncCheck = 6;
inline constexpr int CError_SetStateFailed = 7;
inline constexpr int CError_TimeoutsFailed = 8;
inline constexpr int CError_SetupComFailed = 9;
inline constexpr int CError_ClearComFailed = 10;
inline constexpr int CError_ModemStatFailed = 11;
inline constexpr int CError_EscapeComFailed = 12;
inline constexpr int CError_TransmitFailed = 13;
inline constexpr int CError_ConnChangeProp = 14;
inline constexpr int CError_EnumPortsFailed = 15;
inline constexpr int CError_StoreFailed = 16;
inline constexpr int CError_LoadFailed = 17;
inline constexpr int CError_RegFailed = 18;
inline constexpr int CError_LedStateFailed = 19;
inline constexpr int CError_ThreadCreated = 20;
inline constexpr int CError_WaitFailed = 21;
inline constexpr int CError_HasLink = 22;
inline constexpr int CError_RegError = 23;

class EComPort : public Exception {
public:
    // A failure of the component's own rules: no platform error.
    explicit EComPort(int ACode);
    // A failed platform call, with the error it left.
    EComPort(int ACode, int AWinCode);

    int SystemError() const { return m_systemError; }
    int ErrorNumber() const { return m_errorNumber; }

private:
    int m_systemError;
    int m_errorNumber;
};

// The module's start-up: registers the "cport" text domain and translates the message table
// once. Runs on first use if the program has not called it.
void InitializeCPortModule();
const std::array<std::string, 23>& ComErrorMessages();
