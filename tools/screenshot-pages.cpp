// Saves a PNG of each page of the main window, with a few lines on the screens, for review:
//   QT_QPA_PLATFORM=offscreen build/bin/screenshot-pages [output folder]
#include <pty.h>
#include <unistd.h>

#include <QDir>
#include <QTabWidget>
#include <QTimer>

#include "app/qt/AnaForm.h"
#include "app/qt/Application.h"
#include "app/qt/DMUnit.h"
#include "tools/ReviewLines.h"
#include "ui_AnaForm.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    TAnaForm form;
    TDM dm;
    form.SetStartUpOnShow(false);
    form.show();
    form.Controls().lbl1->setText(QString::fromStdString(form.ComPort()->Port()));
    WriteReviewLines(form);
    QTabWidget* pages = form.Controls().RzPageControl1;
    int saved = 0;
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString file = folder + QStringLiteral("/page%1.png").arg(i + 1);
        if (form.grab().save(file)) {
            ++saved;
        }
    }
    // Page 1 once more with the port open on a pseudo-terminal: the lamps' "on" pictures.
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) {
        ::close(slave);
        form.ComPort()->SetPort(name);
        form.ComPort()->SetConnected(true);
        pages->setCurrentIndex(0);
        QCoreApplication::processEvents();
        form.grab().save(folder + QStringLiteral("/page1-open.png"));
        form.ComPort()->SetConnected(false);
        ::close(master);
    }
    form.Controls().BilgiEkrani->setEnabled(false);
    pages->setCurrentIndex(1);
    QCoreApplication::processEvents();
    form.grab().save(folder + QStringLiteral("/page2-info-disabled.png"));
    return saved == pages->count() ? 0 : 1;
}
