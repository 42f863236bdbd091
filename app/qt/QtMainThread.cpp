#include "app/qt/QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>

#include "platform/MainThread.h"
#include "serial/Component.h"

namespace {

const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

QtMainThreadBridge::QtMainThreadBridge(QObject* parent) : QObject(parent) {
    platform::MainThreadQueue& queue = platform::mainThreadQueue();
    queue.bindToCurrentThread();
    // One wake-up event at a time: the drain takes everything queued until then.
    queue.setWakeHook([this] {
        if (!m_wakePending.exchange(true)) {
            QCoreApplication::postEvent(this, new QEvent(kDrainEvent));
        }
    });
    m_wakePending.store(true);
    QCoreApplication::postEvent(this, new QEvent(kDrainEvent));
}

QtMainThreadBridge::~QtMainThreadBridge() {
    platform::mainThreadQueue().setWakeHook(nullptr);
}

bool QtMainThreadBridge::event(QEvent* e) {
    if (e->type() != kDrainEvent) {
        return QObject::event(e);
    }
    m_wakePending.store(false);
    try {
        platform::mainThreadQueue().drain();
    } catch (...) {
        ApplicationHandleException(std::current_exception());
    }
    return true;
}
