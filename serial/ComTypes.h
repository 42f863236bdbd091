// The serial component's vocabulary: settings enumerations, line events and their sets,
// line signals and errors, and the handler types of its events.
#pragma once

#include <cstdint>
#include <functional>

#include "serial/Component.h"
#include "serial/Set.h"

enum TBaudRate : std::uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum TThreadPriority : std::uint8_t {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

using TComEvents = TSet<TComEvent, std::uint16_t>;
inline constexpr TComEvents AllComEvents = TComEvents::FromBits(0x03FF);

enum TLineSignal : std::uint8_t { CTS, DSR, Ring, RLSD };
using TLineSignals = TSet<TLineSignal, std::uint8_t>;

enum TComError : std::uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
using TComErrors = TSet<TComError, std::uint8_t>;

// The device's event-mask bit of each event, and back; bits without an event are ignored.
std::uint32_t EventsToInt(TComEvents Events);
TComEvents IntToEvents(std::uint32_t Mask);

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TRxCharEvent = std::function<void(TObject* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const char* Buffer, std::int32_t Count)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComDataEvent = std::function<void(TObject* Sender, const char* Buffer, std::int32_t Count)>;

// How an attached control follows a port: slots the port calls, each empty until the
// control fills it.
class TComLink : public TObject {
public:
    TComSignalEvent ConnectionChanged;
    TComDataEvent DataReceived;
    TComDataEvent DataSent;
    TNotifyEvent TransmitterEmpty;
    TNotifyEvent FlagReceived;
    TComSignalEvent CtsChanged;
    TComSignalEvent DsrChanged;
    TComSignalEvent RlsdChanged;
    TNotifyEvent RingDetected;
    TComSignalEvent TransmitActivity;
    TComSignalEvent ReceiveActivity;
};
