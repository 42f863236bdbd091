#include "serial/Component.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "serial/Exception.h"

TComponent::TComponent(TComponent* AOwner) : m_owner(AOwner) {
    if (m_owner) {
        m_owner->m_components.push_back(this);
    }
}

TComponent::~TComponent() {
    Destroying();
    if (m_owner) {
        std::erase(m_owner->m_components, this);
    }
}

void TComponent::Destroying() {
    if (m_state.Contains(csDestroying)) {
        return;
    }
    m_state.Include(csDestroying);
    // An observer usually detaches itself while it is told, so work on a copy.
    const std::vector<TComponentObserver*> observers = m_observers;
    m_observers.clear();
    for (TComponentObserver* observer : observers) {
        observer->Notification(this, TOperation::opRemove);
    }
    while (!m_components.empty()) {
        TComponent* child = m_components.back();
        m_components.pop_back();
        child->m_owner = nullptr;
        delete child;
    }
}

void TComponent::FreeNotification(TComponentObserver* observer) {
    if (observer &&
        std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
}

void TComponent::RemoveFreeNotification(TComponentObserver* observer) {
    std::erase(m_observers, observer);
}

void TComponent::BeginLoading() {
    m_state.Include(csLoading);
}

void TComponent::FinishLoading() {
    m_state.Exclude(csLoading);
}

namespace {

std::mutex g_handlerMutex;
TExceptionHandler g_handler;

}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) {
    std::lock_guard lock(g_handlerMutex);
    g_handler = std::move(handler);
}

void ApplicationHandleException(std::exception_ptr error) {
    TExceptionHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown exception\n");
    }
}
