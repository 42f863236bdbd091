// A bare Qt window of the program's size and nothing else: the yardstick of the start-up
// benchmark (bench-startup).
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(453, 408);
    window.show();
    return app.exec();
}
