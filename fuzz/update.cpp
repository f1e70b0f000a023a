// The update description: the element search over any reply (UTF-8, or raw bytes when it is not
// UTF-8, as the socket hands it over), the version comparison over any version text, and the
// check of a host set in VELLORA_UPDATE_HOST.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz/fuzz_support.h"
#include "help/updateWindow.h"
#include "help/update_address.h"
#include "platform/rbframework/string_functions.h"

namespace {

using rb::String;

// As the socket tags a reply.
String reply(const std::string& bytes) {
    return String::fromBytes(bytes.data(), bytes.size(),
                             fuzz::validUtf8(bytes) ? rb::encoding::UTF8 : rb::encoding::Raw);
}

void checkElement(FuzzedDataProvider& in) {
    const char* names[] = {"CurrentVersion", "Description", "Free", ""};
    const std::string n =
        in.ConsumeBool() ? in.PickValueInArray(names) : in.ConsumeRandomLengthString(16);
    const std::string p = in.ConsumeRandomLengthString(64);
    const std::string v = in.ConsumeRandomLengthString(64);
    const std::string s = in.ConsumeRandomLengthString(64);

    // Any document: the result is the text between the two tags, and holds no end tag.
    const String doc = reply(in.ConsumeRemainingBytesAsString());
    const String name = String::fromBytes(n.data(), n.size(), doc.encoding());
    const String open = updateWindow::startTag(name), close = updateWindow::endTag(name);
    const String r = updateWindow::returnValue(doc, name);
    if (!r.empty()) {
        FUZZ_CHECK(rb::InStr(doc, open + r + close) > 0);
        FUZZ_CHECK(rb::InStr(r, close) == 0);
    }
    if (rb::InStr(doc, open) == 0 || rb::InStr(doc, close) == 0) FUZZ_CHECK(r.empty());

    // A reply built around a value: exactly the value comes back, when the start tag does not
    // occur before its place and the end tag not inside the value.
    const String built = reply(p + "<" + n + ">" + v + "</" + n + ">" + s);
    const rb::Encoding e = built.encoding();
    const String tagName = String::fromBytes(n.data(), n.size(), e);
    const String prefix = String::fromBytes(p.data(), p.size(), e);
    const String value = String::fromBytes(v.data(), v.size(), e);
    const String startTag = updateWindow::startTag(tagName);
    const String endTag = updateWindow::endTag(tagName);
    const String got = updateWindow::returnValue(built, tagName);
    if (rb::InStr(prefix + startTag, startTag) == rb::Len(prefix) + 1 &&
        rb::InStr(value + endTag, endTag) == rb::Len(value) + 1) {
        FUZZ_CHECK(got.bytes() == v);
    }
}

String number(int32_t n, int zeros) {
    return String(std::string(n >= 0 ? static_cast<size_t>(zeros) : 0, '0')) + rb::Str(n);
}

void checkVersion(FuzzedDataProvider& in) {
    const int32_t major =
        in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 20) : in.ConsumeIntegral<int32_t>();
    const int32_t minor = in.ConsumeIntegralInRange(-2, 20);
    const int32_t bug = in.ConsumeIntegralInRange(-2, 20);
    const int zeros = in.ConsumeIntegralInRange(0, 3);
    const int shape = in.ConsumeIntegralInRange(0, 2);
    const String tail = String("-") + reply(in.ConsumeRandomLengthString(16));

    // Leading zeros, text after a number and fields after the third change nothing; a missing
    // field reads as 0.
    String version = number(major, zeros) + "." + number(minor, zeros);
    if (shape > 0) version = version + "." + number(bug, zeros);
    if (shape > 1) version = version + tail;
    const int32_t expectedBug = shape > 0 ? bug : 0;
    FUZZ_CHECK(updateWindow::isCurrentVersion(version, major, minor, expectedBug));
    if (major < std::numeric_limits<int32_t>::max())
        FUZZ_CHECK(!updateWindow::isCurrentVersion(version, major + 1, minor, expectedBug));
    FUZZ_CHECK(!updateWindow::isCurrentVersion(version, major, minor + 1, expectedBug));
    FUZZ_CHECK(!updateWindow::isCurrentVersion(version, major, minor, expectedBug + 1));

    // Any version text: an answer, whatever it holds.
    const String any = reply(in.ConsumeRandomLengthString(64));
    (void)updateWindow::isCurrentVersion(any, major, minor, bug);
}

void checkHost(FuzzedDataProvider& in) {
    const std::string host = in.ConsumeRandomLengthString(300);
    if (host.empty() || host.find('\0') != std::string::npos) return;
    setenv("VELLORA_UPDATE_HOST", host.c_str(), 1);
    const std::string url = help::UpdateDescriptionURL();
    unsetenv("VELLORA_UPDATE_HOST");
    if (url.empty()) return;
    // Only a host (and port) goes into the address: nothing that would change its path.
    FUZZ_CHECK(url == "http://" + host + "/Updates/vellora.xml");
    FUZZ_CHECK(host.size() <= 255);
    FUZZ_CHECK(host.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                      "0123456789.-:[]") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
        case 1:
            checkElement(in);
            break;
        case 2:
            checkVersion(in);
            break;
        default:
            checkHost(in);
    }
    return 0;
}
