// vellora-bundle-probe <bundle>...: loads each bundle in turn, as the plug-in host is about to,
// and writes one line for each to standard output: "entry", "no entry" or "error <reason>".
// A bundle whose loading kills this process leaves its line unwritten; that is the point: the
// host learns it here rather than dying of it.
#include <dlfcn.h>
#include <unistd.h>

#include <string>

namespace {

void say(std::string line) {
    line += '\n';
    // Unbuffered, so every line written before a crash reaches the host.
    for (size_t done = 0; done < line.size();) {
        ssize_t n = write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n <= 0) _exit(3);
        done += static_cast<size_t>(n);
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        // Kept loaded, as the host keeps them: a later bundle loads beside the earlier ones.
        void* lib = dlopen(argv[i], RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* why = dlerror();
            std::string reason = why ? why : "unknown reason";
            for (char& c : reason)
                if (c == '\n') c = ' ';
            say("error " + reason);
        } else {
            say(dlsym(lib, "REALPluginMain") ? "entry" : "no entry");
        }
    }
    // Leaves at once: the bundles' exit code and a leak checker's report have nothing to say.
    _exit(0);
}
