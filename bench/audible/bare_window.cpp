// The yardstick for start-up: a bare Qt window, shown and left again, with nothing else loaded.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 480);
    window.show();
    QTimer::singleShot(300, &app, &QApplication::quit);
    return app.exec();
}
