// The whole program, offscreen, for a benchmark that drives its main window in-process: its
// own configuration folder, the speech layer's engine and output replaced by the benchmark's
// (installed by `install`, after the runtime starts), and `measure` run on the main window once
// it is open, which is then closed.
#pragma once

#include <QTemporaryDir>
#include <QTimer>

#include <cstdlib>
#include <functional>
#include <string>

#include "editor/Window1.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/testing.h"
#include "program/program.h"

namespace bench {

inline int RunOnMainWindow(std::string name, const std::function<void()>& install,
                           std::function<void(Window1&)> measure) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);
    char* args[] = {name.data(), nullptr};
    rb::RuntimeInit(1, args);
    install();
    rb::testing::RecordingDialogs dialogs;  // the first start's notice

    ProgramParts parts = VelloraParts();
    parts.makeDefaultView = [make = parts.makeDefaultView, measure = std::move(measure)] {
        make();
        QTimer::singleShot(0, [measure] {
            rb::Window* w = rb::_GetImplicitWindow("Window1");
            if (auto* main = dynamic_cast<Window1*>(w)) measure(*main);
            if (w) w->Close();
        });
    };
    int status = _Main(parts);
    rb::RuntimeExit();
    return status;
}

}  // namespace bench
