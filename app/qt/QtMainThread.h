// Connects the main-thread hand-over queue to Qt's event loop: a queued call wakes the loop,
// which drains the queue. Create one on the main thread once the application object exists.
#pragma once

#include <QObject>
#include <atomic>

class QtMainThreadBridge : public QObject {
public:
    explicit QtMainThreadBridge(QObject* parent = nullptr);
    ~QtMainThreadBridge() override;

protected:
    bool event(QEvent* e) override;

private:
    std::atomic<bool> m_wakePending{false};
};
