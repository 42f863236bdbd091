// The application object and its central exception handling: an exception that escapes a
// handler on the main thread ends up in HandleException, which tells the user in a message
// box unless it is a silent abort.
#pragma once

#include <QApplication>
#include <exception>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    static void HandleException(std::exception_ptr error);
};

// Lets the window framework's own texts (button captions and the like) pass through the
// "default" catalogue.
void InstallFrameworkTranslator();
