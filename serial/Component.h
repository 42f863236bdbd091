// The minimal component model the serial port lives in: an owner that destroys what it
// owns, observers told when a component goes away, and a loading phase during which
// properties are only stored.
#pragma once

#include <exception>
#include <functional>
#include <vector>

#include "serial/Set.h"

class TObject {
public:
    virtual ~TObject() = default;
};

class TComponent;

enum class TOperation { opInsert, opRemove };

// Told when a component it asked about is being destroyed.
class TComponentObserver {
public:
    virtual ~TComponentObserver() = default;
    virtual void Notification(TComponent* AComponent, TOperation Operation) = 0;
};

enum TComponentStateFlag { csLoading, csDesigning, csDestroying };
using TComponentState = TSet<TComponentStateFlag, unsigned char>;

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    TComponentState ComponentState() const { return m_state; }

    void FreeNotification(TComponentObserver* observer);
    void RemoveFreeNotification(TComponentObserver* observer);

    // Restoring from a stored description: BeginLoading, the properties, FinishLoading.
    void BeginLoading();
    virtual void FinishLoading();

protected:
    // Tells the observers and destroys the owned components; a derived destructor calls it
    // where its own teardown order needs the observers told (it runs once).
    void Destroying();

private:
    TComponent* m_owner;
    TComponentState m_state;
    std::vector<TComponent*> m_components;
    std::vector<TComponentObserver*> m_observers;
};

// Where an exception that escapes a handler ends up: the application's central exception
// handling. Until the application installs its own, the error is written to stderr.
using TExceptionHandler = std::function<void(std::exception_ptr)>;
void SetApplicationExceptionHandler(TExceptionHandler handler);
void ApplicationHandleException(std::exception_ptr error);
