// A bare Qt window of the program's size and nothing else: the yardstick of the start-up
// benchmark (bench-startup). With --label it holds one line of text, which is what makes Qt
// set up the system's fonts at all.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
    const bool label = argc > 1 && std::strcmp(argv[1], "--label") == 0;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(453, 408);
    if (label) {
        new QLabel(QStringLiteral("COM3"), &window);
    }
    window.show();
    return app.exec();
}
