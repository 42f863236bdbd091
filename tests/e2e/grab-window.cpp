// Saves what an X window shows, as the screen shows it, to a PNG file:
//   DISPLAY=:N grab-window WINDOW-ID FILE
// The end-to-end tests look at the running program through it, as a user would.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const WId id = std::strtoul(argv[1], nullptr, 0);
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(id);
    return !picture.isNull() && picture.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}
