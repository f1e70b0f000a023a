// The address of the update description: plain HTTP to the update host, path
// "/Updates/vellora.xml". The host is the one configured at build time, unless the
// environment variable VELLORA_UPDATE_HOST names another (a host, or host:port).
#pragma once

#include <string>

namespace help {

// A host override that is not a host or host:port gives an address the socket refuses, so a
// mistyped setting fails the check instead of silently asking the configured host.
std::string UpdateDescriptionURL();

}  // namespace help
