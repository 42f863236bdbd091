// Central exception handling: what escapes a handler on the main thread is reported in a
// message box, unless it is a silent abort.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>

#include "app/qt/Application.h"
#include "platform/fake/FakeSerialApi.h"
#include "serial/CPort.h"

namespace {

class Throwing : public QObject {
public:
    std::function<void()> raise;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            raise();
            return true;
        }
        return QObject::event(e);
    }
};

// Delivers one event that raises, and returns the text of the message box it brought up
// (dismissed at once), or nothing when no box came.
QString reportOf(std::function<void()> raise) {
    Throwing target;
    target.raise = std::move(raise);
    QString shown;
    // The box runs its own event loop; this timer, served by it, dismisses it.
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    closer.start();
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return shown;
}

TEST(CentralExceptionHandling, ReportsWhatEscapesAHandler) {
    EXPECT_EQ(reportOf([] { throw EComPort(CError_OpenFailed, 2); }),
              QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_EQ(reportOf([] { throw std::runtime_error("boom"); }), QStringLiteral("boom"));
    EXPECT_TRUE(reportOf([] { throw EAbort(); }).isEmpty());
}

TEST(CentralExceptionHandling, ThePortsFailedOpenAtTheEndOfLoadingIsReported) {
    platform::FakeSerialApi fake;
    fake.failOn("open", 2);
    TComPort port(nullptr, &fake);
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_EQ(reportOf([&] { port.FinishLoading(); }),
              QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_FALSE(port.Connected());
}

}  // namespace
