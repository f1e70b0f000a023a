#include "help/update_address.h"

#include <cstdlib>
#include <regex>

#include "help/links.h"

namespace help {

namespace {
bool isHostAndPort(const std::string& s) {
    // A name or IPv4 address, or a bracketed IPv6 address, then an optional port.
    static const std::regex form(
        R"((([A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)(\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*|\[[0-9A-Fa-f:.]+\])(:[0-9]{1,5})?)");
    return s.size() <= 255 && std::regex_match(s, form);
}
}  // namespace

std::string UpdateDescriptionURL() {
    std::string host = links::kUpdateHost;
    if (const char* override = std::getenv("VELLORA_UPDATE_HOST"); override && *override) {
        host = override;
        if (!isHostAndPort(host)) return std::string();
    }
    return "http://" + host + "/Updates/vellora.xml";
}

}  // namespace help
