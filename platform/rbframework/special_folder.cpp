#include "platform/rbframework/special_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace rb::SpecialFolder {

namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    // No usable $HOME (a service, a stripped environment): the account's entry.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

}  // namespace

Ref<FolderItem> Preferences() {
    std::filesystem::path dir;
    // A relative value is to be ignored, as if unset.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        dir = xdg;
    } else {
        std::filesystem::path home = homeFolder();
        if (home.empty()) return nullptr;
        dir = home / ".config";
    }
    std::error_code ec;
    if (std::filesystem::create_directories(dir, ec))
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
    return make<FolderItem>(dir);
}

}  // namespace rb::SpecialFolder
