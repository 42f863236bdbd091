// TComThread: the monitoring thread of an open port.
#pragma once

class TCustomComPort;

class TComThread {
public:
    explicit TComThread(TCustomComPort* AComPort);
    ~TComThread();
};
