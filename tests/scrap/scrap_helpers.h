// Small readers over the clipboard calls, so tests state what they expect in one line.
#ifndef VELLORA_TESTS_SCRAP_HELPERS_H
#define VELLORA_TESTS_SCRAP_HELPERS_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/scrap/Scrap.h"

namespace scraptest {

constexpr ScrapFlavorType kText = kScrapFlavorTypeText;
constexpr ScrapFlavorType kUtxt = kScrapFlavorTypeUnicode;
constexpr ScrapFlavorType kPict = kScrapFlavorTypePicture;

inline ScrapRef current() {
    ScrapRef ref = 0;
    EXPECT_EQ(GetCurrentScrap(&ref), scrapNoErr);
    return ref;
}

// The flavour's bytes read the way the clipboard bundle reads them: size, then data.
inline OSStatus read(ScrapFlavorType type, std::string* bytes) {
    const ScrapRef ref = current();
    int32_t size = -1;
    if (OSStatus status = GetScrapFlavorSize(ref, type, &size); status != scrapNoErr) return status;
    std::string buffer(static_cast<size_t>(size) + 10, '\0');
    int32_t copied = size;
    if (OSStatus status = GetScrapFlavorData(ref, type, &copied, buffer.data());
        status != scrapNoErr)
        return status;
    EXPECT_EQ(copied, size);
    buffer.resize(static_cast<size_t>(copied));
    *bytes = std::move(buffer);
    return scrapNoErr;
}

inline std::string bytesOf(ScrapFlavorType type) {
    std::string bytes;
    EXPECT_EQ(read(type, &bytes), scrapNoErr);
    return bytes;
}

inline OSStatus put(ScrapFlavorType type, const std::string& bytes) {
    return PutScrapFlavor(current(), type, 0, static_cast<int32_t>(bytes.size()), bytes.data());
}

inline bool present(ScrapFlavorType type) {
    ScrapFlavorFlags flags = 0xFFFFFFFF;
    const OSStatus status = GetScrapFlavorFlags(current(), type, &flags);
    if (status == scrapNoErr)
        EXPECT_EQ(flags, 0u);
    else
        EXPECT_EQ(status, scrapNoTypeErr);
    return status == scrapNoErr;
}

// The listed flavour types, checked against the count.
inline std::vector<ScrapFlavorType> listed() {
    const ScrapRef ref = current();
    uint32_t count = 0;
    EXPECT_EQ(GetScrapFlavorCount(ref, &count), scrapNoErr);
    std::vector<ScrapFlavorInfo> info(count + 2, ScrapFlavorInfo{0xDEAD, 0xDEAD});
    uint32_t room = static_cast<uint32_t>(info.size());
    EXPECT_EQ(GetScrapFlavorInfoList(ref, &room, info.data()), scrapNoErr);
    EXPECT_EQ(room, count);
    std::vector<ScrapFlavorType> types;
    for (uint32_t i = 0; i < room; ++i) {
        EXPECT_EQ(info[i].flavorFlags, 0u);
        types.push_back(info[i].flavorType);
    }
    return types;
}

// "Grüße €" and a character outside the BMP, as UTF-8 and as UTF-16 little-endian.
inline const std::string kUtf8Sample =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x82\xAC \xF0\x9F\x91\x8B";
inline const std::string kUtf16Sample{"G\0r\0\xFC\0\xDF\0e\0 \0\xAC\x20 \0\x3D\xD8\x4B\xDC", 20};

}  // namespace scraptest

#endif
