#include "serial/ComPort.h"
#include "serial/ComThread.h"

TComThread::TComThread(TCustomComPort* /*AComPort*/) {}
TComThread::~TComThread() = default;

void TCustomComPort::startMonitoring() {
    m_threadStarted = false;
}

void TCustomComPort::stopMonitoring() {}
