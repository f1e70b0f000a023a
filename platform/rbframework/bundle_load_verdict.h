// What a probe child does with one bundle, whether it is the probe program or a copy of the
// program itself: loads the bundle as the host is about to, and writes one line for it:
// "entry", "no entry" or "error <reason>". A bundle whose loading kills the child leaves its line
// unwritten; that is the point: the host learns it there rather than dying of it.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <string>

namespace rb::probe {

// Writes `line` and its end to `fd` unbuffered, so that every line written before a crash
// reaches the host; ends the child when it cannot.
inline void Say(int fd, std::string line) {
    line += '\n';
    for (size_t done = 0; done < line.size();) {
        ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n <= 0) _exit(3);
        done += static_cast<size_t>(n);
    }
}

// Loads `file` and keeps it loaded, as the host keeps its bundles, then says what came of it.
inline void LoadAndSay(int fd, const char* file) {
    void* lib = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        std::string reason = why ? why : "unknown reason";
        for (char& c : reason)
            if (c == '\n') c = ' ';
        Say(fd, "error " + reason);
    } else {
        Say(fd, dlsym(lib, "REALPluginMain") ? "entry" : "no entry");
    }
}

}  // namespace rb::probe
