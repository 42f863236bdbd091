// The window as its stored layout builds it, and the dark skin.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QSplitter>
#include <QTabBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "app/qt/AnaForm.h"
#include "app/qt/DMUnit.h"
#include "serial/qt/CPortCtl.h"
#include "ui_AnaForm.h"

namespace {

TEST(Layout, TheWindowAsStored) {
    TAnaForm form;
    form.SetStartUpOnShow(false);
    form.show();
    QCoreApplication::processEvents();
    Ui::TAnaForm& ui = form.Controls();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Dorvik Selto (Hemogram)"));
    EXPECT_EQ(form.objectName(), QStringLiteral("AnaForm"));
    EXPECT_EQ(form.frameGeometry().size(), QSize(453, 408));
    EXPECT_EQ(form.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_FALSE(form.windowIcon().isNull());

    ASSERT_EQ(ui.RzPageControl1->count(), 3);
    EXPECT_EQ(ui.RzPageControl1->currentWidget(), ui.TabSheet1);
    EXPECT_EQ(ui.RzPageControl1->tabText(0), QStringLiteral("Dorvik Selto (Hemogram)"));
    EXPECT_EQ(ui.RzPageControl1->tabText(1), QString::fromUtf8("Host Ekran\xC4\xB1"));
    EXPECT_EQ(ui.RzPageControl1->tabText(2), QStringLiteral("Ayarlar"));
    EXPECT_TRUE(ui.TabSheet3->children().isEmpty());

    EXPECT_EQ(ui.lbl1->text(), QStringLiteral("HATA"));
    EXPECT_EQ(ui.lbl1->pos(), QPoint(9, 4));
    EXPECT_EQ(ui.lbl2->text(), QStringLiteral("lbl2"));
    EXPECT_EQ(ui.lbl2->pos(), QPoint(16, 72));
    EXPECT_EQ(ui.lbl2->font().pixelSize(), 16);
    EXPECT_EQ(ui.Image1->size(), ui.TabSheet1->size());
    // The 1600 x 1200 picture stretched to the page, held at the page's size only, and
    // again at the new size when the window's size changes.
    auto expectBackgroundFits = [&] {
        const QImage shown = ui.Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shown.size(), ui.TabSheet1->size());
        QImage source(QStringLiteral(":/pictures/background.jpg"));
        ASSERT_EQ(source.size(), QSize(1600, 1200));
        const QImage expected =
            source.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
        int off = 0;
        for (int y = 0; y < shown.height(); y += 7) {
            for (int x = 0; x < shown.width(); x += 7) {
                const QRgb a = shown.pixel(x, y), b = expected.pixel(x, y);
                off += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                           std::abs(qBlue(a) - qBlue(b)) >
                       48;
            }
        }
        EXPECT_LT(off, shown.width() * shown.height() / 49 / 50) << "of the sampled pixels";
    };
    expectBackgroundFits();
    form.resize(600, 500);
    QCoreApplication::processEvents();
    expectBackgroundFits();
    form.resize(form.size() - (form.frameGeometry().size() - QSize(453, 408)));
    QCoreApplication::processEvents();

    struct Lamp {
        TComLed* led;
        QRect geometry;
    } lamps[] = {{ui.ComLed2, QRect(5, 18, 40, 30)}, {ui.ComLed3, QRect(5, 50, 40, 10)}};
    for (const Lamp& lamp : lamps) {
        EXPECT_EQ(lamp.led->geometry(), lamp.geometry);
        EXPECT_EQ(lamp.led->Kind(), lkCustom);
        EXPECT_EQ(lamp.led->LedSignal(), lsConn);
        EXPECT_EQ(lamp.led->ComPort(), form.ComPort());
        EXPECT_EQ(lamp.led->State(), lsOff);
        EXPECT_EQ(QSize(lamp.led->GlyphOn().Width, lamp.led->GlyphOn().Height),
                  lamp.geometry.size());
        EXPECT_EQ(QSize(lamp.led->GlyphOff().Width, lamp.led->GlyphOff().Height),
                  lamp.geometry.size());
    }

    ui.RzPageControl1->setCurrentIndex(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(ui.rzspltr1->orientation(), Qt::Vertical);
    EXPECT_EQ(ui.rzspltr1->handleWidth(), 6);
    EXPECT_EQ(ui.rzspltr1->sizes().at(0), 255);
    QTextEdit* host = ui.HostEkrani;
    EXPECT_EQ(host->font().family(), QStringLiteral("Times New Roman"));
    EXPECT_EQ(host->font().pixelSize(), 11);
    EXPECT_EQ(host->viewport()->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(host->viewport()->palette().color(QPalette::Text), QColor(Qt::white));
    EXPECT_FALSE(host->isReadOnly());
    EXPECT_EQ(host->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(host->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(host->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(ui.RzBitBtn1->geometry().topLeft(), QPoint(398, 0));
    EXPECT_EQ(ui.RzBitBtn1->width(), 28);
    EXPECT_TRUE(ui.RzBitBtn1->text().isEmpty());
    EXPECT_EQ(ui.RzBitBtn1->iconSize(), QSize(16, 16));
    EXPECT_TRUE(ui.BilgiEkrani->isEnabled());
    EXPECT_EQ(ui.BilgiEkrani->lineWrapMode(), QTextEdit::WidgetWidth);

    // The port as its stored description gives it, still closed.
    TComPort* port = form.ComPort();
    EXPECT_EQ(port->Port(), "COM3");
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->BaudRate(), br9600);
    EXPECT_EQ(port->Events(), AllComEvents);
    EXPECT_EQ(port->Buffer().InputSize(), 4096);
    EXPECT_EQ(port->Buffer().OutputSize(), 4096);
    EXPECT_EQ(port->SyncMethod(), smThreadSync);
    EXPECT_EQ(port->FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(port->Timeouts().ReadInterval(), -1);
}

TEST(Skin, TheDataModulePaintsEveryWindowDarkFromItsCreationOn) {
    TDM dm;
    EXPECT_EQ(dm.SkinController()->SkinName(), QStringLiteral("Black"));
    auto dark = [](const QColor& c) { return c.lightness() < 80; };
    EXPECT_TRUE(dark(QApplication::palette().color(QPalette::Window)));
    TAnaForm form;
    form.SetStartUpOnShow(false);
    form.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dark(form.palette().color(QPalette::Window)));
    EXPECT_TRUE(dark(form.BilgiEkrani()->palette().color(QPalette::Base)));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Brelvo Teknoloji"), QStringLiteral("x"),
                    QMessageBox::Ok);
    box.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dark(box.palette().color(QPalette::Window)));
    const QImage shot = box.grab().toImage();
    EXPECT_TRUE(dark(shot.pixelColor(2, shot.height() / 2)));
}

}  // namespace
