// The component's records and values against the Win32 SDK's: the bit fields of DCB and
// COMSTAT (which offsetof cannot check) and the error values the component recognises.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "platform/LastError.h"
#include "platform/SerialApi.h"

namespace {

namespace f = platform::dcbflag;

TEST(Win32Records, DcbFlagBitsAreTheBitFieldsOfDcb) {
    struct Case {
        const char* name;
        void (*set)(DCB&);
        std::uint32_t flags;
    } cases[] = {
        {"fBinary", [](DCB& d) { d.fBinary = 1; }, f::Binary},
        {"fParity", [](DCB& d) { d.fParity = 1; }, f::Parity},
        {"fOutxCtsFlow", [](DCB& d) { d.fOutxCtsFlow = 1; }, f::OutxCtsFlow},
        {"fOutxDsrFlow", [](DCB& d) { d.fOutxDsrFlow = 1; }, f::OutxDsrFlow},
        {"DTR enable", [](DCB& d) { d.fDtrControl = DTR_CONTROL_ENABLE; }, f::DtrControlEnable},
        {"DTR handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; },
         f::DtrControlHandshake},
        {"fDsrSensitivity", [](DCB& d) { d.fDsrSensitivity = 1; }, f::DsrSensitivity},
        {"fTXContinueOnXoff", [](DCB& d) { d.fTXContinueOnXoff = 1; }, f::TxContinueOnXoff},
        {"fOutX", [](DCB& d) { d.fOutX = 1; }, f::OutX},
        {"fInX", [](DCB& d) { d.fInX = 1; }, f::InX},
        {"fErrorChar", [](DCB& d) { d.fErrorChar = 1; }, f::ErrorChar},
        {"fNull", [](DCB& d) { d.fNull = 1; }, f::Null},
        {"RTS enable", [](DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; }, f::RtsControlEnable},
        {"RTS handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; },
         f::RtsControlHandshake},
        {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, f::RtsControlToggle},
        {"fAbortOnError", [](DCB& d) { d.fAbortOnError = 1; }, f::AbortOnError},
    };
    for (const auto& c : cases) {
        DCB system{};
        c.set(system);
        platform::Dcb ours;
        std::memcpy(static_cast<void*>(&ours), &system, sizeof ours);
        EXPECT_EQ(ours.Flags, c.flags) << c.name;
    }
    // And the other way: the record the component fills reads back field by field.
    platform::Dcb ours;
    ours.BaudRate = 9600;
    ours.Flags = f::Binary | f::DtrControlEnable | f::RtsControlHandshake;
    ours.XonLim = 256;
    ours.XoffLim = 257;
    ours.ByteSize = 8;
    ours.Parity = platform::kEvenParity;
    ours.StopBits = platform::kTwoStopBits;
    ours.XonChar = 17;
    ours.XoffChar = 19;
    ours.ErrorChar = '?';
    ours.EvtChar = '\x03';
    DCB system;
    std::memcpy(&system, &ours, sizeof system);
    EXPECT_EQ(system.DCBlength, sizeof(DCB));
    EXPECT_EQ(system.BaudRate, 9600u);
    EXPECT_EQ(system.fBinary, 1u);
    EXPECT_EQ(system.fDtrControl, unsigned(DTR_CONTROL_ENABLE));
    EXPECT_EQ(system.fRtsControl, unsigned(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(system.fParity, 0u);
    EXPECT_EQ(system.XonLim, 256);
    EXPECT_EQ(system.XoffLim, 257);
    EXPECT_EQ(system.ByteSize, 8);
    EXPECT_EQ(system.Parity, EVENPARITY);
    EXPECT_EQ(system.StopBits, TWOSTOPBITS);
    EXPECT_EQ(system.ErrorChar, '?');
    EXPECT_EQ(system.EvtChar, '\x03');
}

TEST(Win32Records, ComStatCountsFollowItsFlagWord) {
    COMSTAT system{};
    system.fCtsHold = 1;
    system.fTxim = 1;
    system.cbInQue = 1200;
    system.cbOutQue = 7;
    platform::ComStat ours;
    std::memcpy(static_cast<void*>(&ours), &system, sizeof ours);
    EXPECT_EQ(ours.Flags, 0x41u);
    EXPECT_EQ(ours.cbInQue, 1200u);
    EXPECT_EQ(ours.cbOutQue, 7u);
}

TEST(Win32Records, ErrorValuesAreTheSystemsOwn) {
    EXPECT_EQ(platform::kErrorIoPending, 997);
    EXPECT_EQ(platform::kErrorInvalidHandle, 6);
    EXPECT_EQ(platform::kErrorOperationAborted, 995);
    EXPECT_EQ(platform::kErrorIoIncomplete, 996);
    EXPECT_EQ(platform::kErrorInUse, 5);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform::lastError(), 2);
    platform::setLastError(1617);
    EXPECT_EQ(::GetLastError(), 1617u);
}

}  // namespace
