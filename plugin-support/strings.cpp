// Building runtime strings from bytes, and the two stack views of a runtime string.
#include <cstring>

#include "plugin-support/rb_plugin.h"

namespace {

constexpr int64_t kMaxBuildLength = 0x7FFFFFFE;
// UTF-32 input below this many bytes is narrowed on the stack (room for 200 units).
constexpr int64_t kStackLimit = 800;

const char kEmptyText[4] = {0, 0, 0, 0};

// Hosts from these versions on hand out string bytes themselves; older ones are read from
// the string record.
constexpr double kTextViewVersion = 2012.0;
constexpr double kDataViewVersion = 2013.0;

// Tags a freshly built string as UTF-16, converts it to UTF-8 and drops the intermediate.
REALstring Utf16ToUtf8(REALstring utf16) {
    REALSetStringEncoding(utf16, kREALTextEncodingUTF16);
    REALstring utf8 = REALConvertString(utf16, kREALTextEncodingUTF8);
    REALUnlockString(utf16);
    return utf8;
}

const char* RecordBytes(REALstring string) {
    auto* record = reinterpret_cast<const REALstringRecord*>(string);
    return reinterpret_cast<const char*>(record->pascalBytes) + 1;
}

int32_t RecordLength(REALstring string) {
    return static_cast<int32_t>(reinterpret_cast<const REALstringRecord*>(string)->byteLength);
}

}  // namespace

REALstring REALBuildUnicodeString(const void* bytes, int64_t length, uint32_t encoding) {
    if (!bytes || length < 1 || length > kMaxBuildLength) return nullptr;
    auto count = static_cast<int32_t>(length);

    if (encoding == kREALTextEncodingUTF32) {
        int32_t units = count / 4;
        uint16_t stackUnits[kStackLimit / 4] = {};
        uint16_t* narrow = stackUnits;
        if (length >= kStackLimit) {
            narrow = static_cast<uint16_t*>(AllocateClearMemory(2 * int64_t{units} + 4));
            if (!narrow) return nullptr;
        }
        const auto* wide = static_cast<const unsigned char*>(bytes);
        for (int32_t i = 0; i < units; ++i) {
            uint32_t unit;
            std::memcpy(&unit, wide + 4 * static_cast<size_t>(i), sizeof unit);
            narrow[i] = static_cast<uint16_t>(unit);
        }
        REALstring utf16 = originalREALBuildString(narrow, 2 * units);
        if (narrow != stackUnits) FreeMemoryNow(narrow);
        // A host that built nothing still gets its conversion asked, for a nil string.
        return utf16 ? Utf16ToUtf8(utf16) : REALConvertString(nullptr, kREALTextEncodingUTF8);
    }

    REALstring built = originalREALBuildString(bytes, count);
    if (!built) return nullptr;
    if (encoding == kREALTextEncodingUTF16) return Utf16ToUtf8(built);
    REALSetStringEncoding(built, encoding);
    return built;
}

rbText::rbText(REALstring string) : mPointer(kEmptyText) {
    if (!string) return;
    if (REALGetStringEncoding(string) == kREALTextEncodingRaw) {
        // Raw bytes are taken to be Mac Roman as they stand.
        rbData raw(string);
        mString = REALBuildUnicodeString(raw.Data(), raw.Length(), kREALTextEncodingMacRoman);
    } else {
        REALLockString(string);
        mString = string;
    }
}

rbText::~rbText() {
    Reset();
}

void rbText::Reset() {
    if (mString) REALUnlockString(mString);
    if (mConverted) REALUnlockString(mConverted);
    if (mDataFilled) REALDisposeStringData(&mData);
    mString = nullptr;
    mConverted = nullptr;
    mDataFilled = false;
    mLength = -1;
    mPointer = kEmptyText;
}

const char* rbText::GetMacRoman() {
    Compute();
    return mPointer;
}

int32_t rbText::LengthMacRoman() {
    Compute();
    return mLength;
}

void rbText::Compute() {
    if (mLength >= 0) return;
    mLength = 0;
    mPointer = kEmptyText;
    if (!mString) return;
    if (rbversion_rbversion >= kTextViewVersion) {
        if (REALGetStringData(mString, kREALTextEncodingMacRoman, &mData)) {
            mDataFilled = true;
            mLength = mData.length;
            mPointer = static_cast<const char*>(mData.data);
        }
    } else {
        mConverted = REALConvertString(mString, kREALTextEncodingMacRoman);
        if (mConverted) {
            mLength = RecordLength(mConverted);
            mPointer = RecordBytes(mConverted);
        }
    }
}

rbData::rbData(REALstring string) {
    if (!string) return;
    if (rbversion_rbversion >= kDataViewVersion) {
        if (REALGetStringData(string, kREALTextEncodingRaw, &mData)) {
            mDataFilled = true;
            mBytes = static_cast<const char*>(mData.data);
            mLength = mData.length;
        }
    } else {
        REALLockString(string);
        mString = string;
        mBytes = RecordBytes(string);
        mLength = RecordLength(string);
    }
}

rbData::~rbData() {
    if (mString) REALUnlockString(mString);
    if (mDataFilled) REALDisposeStringData(&mData);
}
