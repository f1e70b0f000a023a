// Preloaded into the real program by the signals test: each time a modal box has come up and
// waits for the user, it appends a line to the file named in VELLORA_TEST_BOX_UP. The test
// then knows the box is up instead of guessing how long that takes.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDialog>
#include <QTimer>

#include <cstdlib>

namespace {
void tellTheTest() {
    const char* path = std::getenv("VELLORA_TEST_BOX_UP");
    if (!path) return;
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    (void)!write(fd, "up\n", 3);
    close(fd);
}
}  // namespace

// Stands in front of Qt's own: the box's own event loop runs the timer, so the line is written
// once the box is shown and waiting.
int QDialog::exec() {
    using Exec = int (*)(QDialog*);
    static const Exec real = reinterpret_cast<Exec>(dlsym(RTLD_NEXT, "_ZN7QDialog4execEv"));
    QTimer::singleShot(0, this, tellTheTest);
    return real(this);
}
