#include "serial/ComSettings.h"

#include <string>

#include "serial/ComPort.h"

void TPersistent::Assign(const TPersistent& Source) {
    AssignError(Source);
}

void TPersistent::AssignError(const TPersistent& Source) const {
    throw Exception(std::string("Cannot assign a ") + Source.ClassName() + " to a " + ClassName());
}

// --- TComTimeouts ---

void TComTimeouts::Assign(const TPersistent& Source) {
    const auto* other = dynamic_cast<const TComTimeouts*>(&Source);
    if (!other) {
        AssignError(Source);
    }
    m_readInterval = other->m_readInterval;
    m_readTotalMultiplier = other->m_readTotalMultiplier;
    m_readTotalConstant = other->m_readTotalConstant;
    m_writeTotalMultiplier = other->m_writeTotalMultiplier;
    m_writeTotalConstant = other->m_writeTotalConstant;
}

void TComTimeouts::set(std::int32_t& field, std::int32_t value) {
    if (field == value) {
        return;
    }
    field = value;
    if (ComPort()) {
        ComPort()->ApplyTimeoutSettings();
    }
}

void TComTimeouts::SetReadInterval(std::int32_t Value) {
    set(m_readInterval, Value);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t Value) {
    set(m_readTotalMultiplier, Value);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t Value) {
    set(m_readTotalConstant, Value);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t Value) {
    set(m_writeTotalMultiplier, Value);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t Value) {
    set(m_writeTotalConstant, Value);
}

// --- TComFlowControl ---

void TComFlowControl::Assign(const TPersistent& Source) {
    const auto* other = dynamic_cast<const TComFlowControl*>(&Source);
    if (!other) {
        AssignError(Source);
    }
    m_outCTSFlow = other->m_outCTSFlow;
    m_outDSRFlow = other->m_outDSRFlow;
    m_controlDTR = other->m_controlDTR;
    m_controlRTS = other->m_controlRTS;
    m_xonXoffOut = other->m_xonXoffOut;
    m_xonXoffIn = other->m_xonXoffIn;
    m_dsrSensitivity = other->m_dsrSensitivity;
    m_txContinueOnXoff = other->m_txContinueOnXoff;
    m_xonChar = other->m_xonChar;
    m_xoffChar = other->m_xoffChar;
}

template <typename T>
void TComFlowControl::set(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    if (ComPort()) {
        ComPort()->ApplyLineSettings();
    }
}

TFlowControl TComFlowControl::FlowControl() const {
    const bool noXonXoff = !m_xonXoffIn && !m_xonXoffOut;
    if (m_controlRTS == rtsHandshake && m_outCTSFlow && noXonXoff) {
        return fcHardware;
    }
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && m_xonXoffIn && m_xonXoffOut) {
        return fcSoftware;
    }
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && noXonXoff) {
        return fcNone;
    }
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl Value) {
    if (Value != fcCustom) {
        m_controlRTS = rtsDisable;
        m_outCTSFlow = false;
        m_xonXoffIn = false;
        m_xonXoffOut = false;
        if (Value == fcHardware) {
            m_controlRTS = rtsHandshake;
            m_outCTSFlow = true;
        } else if (Value == fcSoftware) {
            m_xonXoffIn = true;
            m_xonXoffOut = true;
        }
    }
    if (ComPort()) {
        ComPort()->ApplyLineSettings();
    }
}

void TComFlowControl::SetOutCTSFlow(bool Value) {
    set(m_outCTSFlow, Value);
}
void TComFlowControl::SetOutDSRFlow(bool Value) {
    set(m_outDSRFlow, Value);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl Value) {
    set(m_controlDTR, Value);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl Value) {
    set(m_controlRTS, Value);
}
void TComFlowControl::SetXonXoffOut(bool Value) {
    set(m_xonXoffOut, Value);
}
void TComFlowControl::SetXonXoffIn(bool Value) {
    set(m_xonXoffIn, Value);
}
void TComFlowControl::SetDSRSensitivity(bool Value) {
    set(m_dsrSensitivity, Value);
}
void TComFlowControl::SetTxContinueOnXoff(bool Value) {
    set(m_txContinueOnXoff, Value);
}
void TComFlowControl::SetXonChar(char Value) {
    set(m_xonChar, Value);
}
void TComFlowControl::SetXoffChar(char Value) {
    set(m_xoffChar, Value);
}

// --- TComParity ---

void TComParity::Assign(const TPersistent& Source) {
    const auto* other = dynamic_cast<const TComParity*>(&Source);
    if (!other) {
        AssignError(Source);
    }
    m_bits = other->m_bits;
    m_check = other->m_check;
    m_replace = other->m_replace;
    m_replaceChar = other->m_replaceChar;
}

template <typename T>
void TComParity::set(T& field, T value) {
    if (field == value) {
        return;
    }
    field = value;
    if (ComPort()) {
        ComPort()->ApplyLineSettings();
    }
}

void TComParity::SetBits(TParityBits Value) {
    set(m_bits, Value);
}
void TComParity::SetCheck(bool Value) {
    set(m_check, Value);
}
void TComParity::SetReplace(bool Value) {
    set(m_replace, Value);
}
void TComParity::SetReplaceChar(char Value) {
    set(m_replaceChar, Value);
}

// --- TComBuffer ---

void TComBuffer::Assign(const TPersistent& Source) {
    const auto* other = dynamic_cast<const TComBuffer*>(&Source);
    if (!other) {
        AssignError(Source);
    }
    m_inputSize = other->m_inputSize;
    m_outputSize = other->m_outputSize;
}

void TComBuffer::set(std::int32_t& field, std::int32_t value) {
    if (field == value) {
        return;
    }
    if (value > 0 && value % 2 != 0) {
        --value;
    }
    field = value;
    if (ComPort()) {
        ComPort()->ApplyBufferSizes();
    }
}

void TComBuffer::SetInputSize(std::int32_t Value) {
    set(m_inputSize, Value);
}
void TComBuffer::SetOutputSize(std::int32_t Value) {
    set(m_outputSize, Value);
}
