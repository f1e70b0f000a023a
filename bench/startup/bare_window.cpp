// The start-up benchmark's anchor: as little as Qt needs to show a window, in a program of its
// own that loads Qt's libraries and nothing of Vellora's. Once the window is shown and the loop
// runs, it writes its resident memory (KiB, a long) to the descriptor named in its argument,
// when given, and quits.
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const int fd = argc > 1 ? std::atoi(argv[1]) : -1;
    QApplication app(argc, argv);
    QMainWindow w;
    w.resize(400, 500);
    w.show();
    QTimer::singleShot(0, [&] {
        long kib = -1;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (w.isVisible() && line.rfind("VmRSS:", 0) == 0) kib = std::atol(line.c_str() + 6);
        if (fd >= 0) (void)!write(fd, &kib, sizeof kib);
        app.quit();
    });
    return app.exec();
}
