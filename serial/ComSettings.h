// The port's four settings objects. Each holds values, knows the port that owns it, copies
// into another of its class, and asks the port to re-apply its part of the device
// configuration when a value changes.
#pragma once

#include <cstdint>

#include "serial/ComTypes.h"

class TCustomComPort;

class TPersistent : public TObject {
public:
    // Copies Source's values in; refused (Exception) for an object of another class.
    virtual void Assign(const TPersistent& Source);
    virtual const char* ClassName() const = 0;

protected:
    [[noreturn]] void AssignError(const TPersistent& Source) const;
};

class TComPortSettings : public TPersistent {
public:
    TCustomComPort* ComPort() const { return m_comPort; }

protected:
    TComPortSettings() = default;
    // A copy is a free-standing object: it never re-applies on the original's port.
    TComPortSettings(const TComPortSettings& /*other*/) : TPersistent() {}
    TComPortSettings& operator=(const TComPortSettings& /*other*/) { return *this; }

private:
    friend class TCustomComPort;
    TCustomComPort* m_comPort = nullptr;
};

class TComTimeouts final : public TComPortSettings {
public:
    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TComTimeouts"; }

    std::int32_t ReadInterval() const { return m_readInterval; }
    std::int32_t ReadTotalMultiplier() const { return m_readTotalMultiplier; }
    std::int32_t ReadTotalConstant() const { return m_readTotalConstant; }
    std::int32_t WriteTotalMultiplier() const { return m_writeTotalMultiplier; }
    std::int32_t WriteTotalConstant() const { return m_writeTotalConstant; }
    void SetReadInterval(std::int32_t Value);
    void SetReadTotalMultiplier(std::int32_t Value);
    void SetReadTotalConstant(std::int32_t Value);
    void SetWriteTotalMultiplier(std::int32_t Value);
    void SetWriteTotalConstant(std::int32_t Value);

private:
    void set(std::int32_t& field, std::int32_t value);

    std::int32_t m_readInterval = -1;
    std::int32_t m_readTotalMultiplier = 0;
    std::int32_t m_readTotalConstant = 0;
    std::int32_t m_writeTotalMultiplier = 100;
    std::int32_t m_writeTotalConstant = 1000;
};

class TComFlowControl final : public TComPortSettings {
public:
    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TComFlowControl"; }

    bool OutCTSFlow() const { return m_outCTSFlow; }
    bool OutDSRFlow() const { return m_outDSRFlow; }
    TDTRFlowControl ControlDTR() const { return m_controlDTR; }
    TRTSFlowControl ControlRTS() const { return m_controlRTS; }
    bool XonXoffOut() const { return m_xonXoffOut; }
    bool XonXoffIn() const { return m_xonXoffIn; }
    bool DSRSensitivity() const { return m_dsrSensitivity; }
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }
    char XonChar() const { return m_xonChar; }
    char XoffChar() const { return m_xoffChar; }
    // Derived from ControlRTS, OutCTSFlow and the two XonXoff flags; never stored.
    TFlowControl FlowControl() const;

    void SetOutCTSFlow(bool Value);
    void SetOutDSRFlow(bool Value);
    void SetControlDTR(TDTRFlowControl Value);
    void SetControlRTS(TRTSFlowControl Value);
    void SetXonXoffOut(bool Value);
    void SetXonXoffIn(bool Value);
    void SetDSRSensitivity(bool Value);
    void SetTxContinueOnXoff(bool Value);
    void SetXonChar(char Value);
    void SetXoffChar(char Value);
    void SetFlowControl(TFlowControl Value);

private:
    template <typename T>
    void set(T& field, T value);

    bool m_outCTSFlow = false;
    bool m_outDSRFlow = false;
    TDTRFlowControl m_controlDTR = dtrDisable;
    TRTSFlowControl m_controlRTS = rtsDisable;
    bool m_xonXoffOut = false;
    bool m_xonXoffIn = false;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = false;
    char m_xonChar = 17;
    char m_xoffChar = 19;
};

class TComParity final : public TComPortSettings {
public:
    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TComParity"; }

    TParityBits Bits() const { return m_bits; }
    bool Check() const { return m_check; }
    bool Replace() const { return m_replace; }
    char ReplaceChar() const { return m_replaceChar; }
    void SetBits(TParityBits Value);
    void SetCheck(bool Value);
    void SetReplace(bool Value);
    void SetReplaceChar(char Value);

private:
    template <typename T>
    void set(T& field, T value);

    TParityBits m_bits = prNone;
    bool m_check = false;
    bool m_replace = false;
    char m_replaceChar = 0;
};

class TComBuffer final : public TComPortSettings {
public:
    void Assign(const TPersistent& Source) override;
    const char* ClassName() const override { return "TComBuffer"; }

    std::int32_t InputSize() const { return m_inputSize; }
    std::int32_t OutputSize() const { return m_outputSize; }
    // An odd positive size is stored one lower.
    void SetInputSize(std::int32_t Value);
    void SetOutputSize(std::int32_t Value);

private:
    void set(std::int32_t& field, std::int32_t value);

    std::int32_t m_inputSize = 1024;
    std::int32_t m_outputSize = 1024;
};
