// ClipboardZRQ: the clipboard by flavour type for the program. Each call asks the clipboard
// layer for the current scrap first, so sizes and bytes always belong to the same contents.
// Nothing is raised: readers answer false, 0 or nil, writers and Clear drop their failures.
#include <cstddef>
#include <cstdint>

#include "clipboard/os_type.h"
#include "platform/scrap/Scrap.h"
#include "plugin-support/rb_plugin.h"

namespace {

// The flavour list of the last ScrapFlavorCount, which ScrapFlavorFlags and ScrapFlavorType
// answer from, so an index names the same flavour however the clipboard changes meanwhile.
struct ScrapData {
    int32_t flavorCount;          // records in flavorList; 0 when there is none
    ScrapFlavorInfo* flavorList;  // AllocateClearMemory block owned by the instance, or nil
};

// Spare zero bytes behind a flavour's bytes in the read buffer.
constexpr int64_t kReadSlack = 10;

}  // namespace

// Written by the host at registration (dataOffset), so it stays a writable static.
static REALclassDefinition ScrapClass;

namespace {

ScrapData* Data(REALobject self) {
    return instanceData<ScrapData>(self, ScrapClass);
}

// Also the destructor's whole work: safe to repeat, as Close may run before it.
void DropSnapshot(ScrapData* data) {
    if (data->flavorList) FreeMemoryNow(data->flavorList);
    data->flavorList = nullptr;
    data->flavorCount = 0;
}

bool InSnapshot(const ScrapData* data, int32_t index) {
    return data->flavorList && index >= 0 && index < data->flavorCount;
}

bool FlavorPresent(ScrapFlavorType type) {
    ScrapRef scrap = 0;
    if (GetCurrentScrap(&scrap) != scrapNoErr) return false;
    ScrapFlavorFlags flags = 0;
    return GetScrapFlavorFlags(scrap, type, &flags) == scrapNoErr;
}

int32_t FlavorSize(ScrapFlavorType type) {
    ScrapRef scrap = 0;
    if (GetCurrentScrap(&scrap) != scrapNoErr) return 0;
    int32_t size = 0;
    if (GetScrapFlavorSize(scrap, type, &size) != scrapNoErr || size < 0) return 0;
    return size;
}

// The flavour's bytes as a new string (one reference for the caller), built in `encoding`;
// nil when the flavour is empty or cannot be read.
REALstring ReadFlavor(ScrapFlavorType type, uint32_t encoding) {
    ScrapRef scrap = 0;
    if (GetCurrentScrap(&scrap) != scrapNoErr) return nullptr;
    int32_t size = 0;
    if (GetScrapFlavorSize(scrap, type, &size) != scrapNoErr || size < 0) return nullptr;
    void* block = AllocateClearMemory(int64_t{size} + kReadSlack);
    if (!block) return nullptr;
    REALstring result = nullptr;
    int32_t copied = size;
    if (GetScrapFlavorData(scrap, type, &copied, block) == scrapNoErr) {
        int64_t length = copied;
        // Half a UTF-16 unit is no character; it would spoil the conversion of the rest.
        if (encoding == kREALTextEncodingUTF16) length -= length % 2;
        result = REALBuildUnicodeString(block, length, encoding);
    }
    FreeMemoryNow(block);
    return result;
}

// Puts `string` under `type`. `textEncoding` is the flavour's own text encoding, or 0 for a
// data flavour: text tagged with any other text encoding is converted to it, so the clipboard
// never reads one encoding's bytes as another's. Raw bytes and data go out as stored.
void PutFlavor(ScrapFlavorType type, REALstring string, uint32_t textEncoding) {
    ScrapRef scrap = 0;
    if (GetCurrentScrap(&scrap) != scrapNoErr || !string) return;
    if (textEncoding && REALGetStringEncoding(string) != kREALTextEncodingRaw) {
        REALstringData converted = {};
        if (REALGetStringData(string, textEncoding, &converted)) {
            PutScrapFlavor(scrap, type, kScrapFlavorFlagsNone, converted.length, converted.data);
            REALDisposeStringData(&converted);
            return;
        }
    }
    rbData view(string);
    // A view without bytes is a failure, not an empty string: it must not empty the flavour.
    if (view.Data()) PutScrapFlavor(scrap, type, kScrapFlavorFlagsNone, view.Length(), view.Data());
}

}  // namespace

// ---- Rows of the class --------------------------------------------------------------------

int32_t rbGetHandle(REALobject, int32_t) {
    ScrapRef scrap = 0;
    if (GetCurrentScrap(&scrap) != scrapNoErr) return 0;
    return static_cast<int32_t>(scrap);
}

int32_t rbDataSize(REALobject, REALstring flavorType) {
    return FlavorSize(REALstringToOSType(flavorType));
}

bool rbDataAvailable(REALobject, REALstring flavorType) {
    return FlavorPresent(REALstringToOSType(flavorType));
}

REALstring rbGetData(REALobject, REALstring flavorType) {
    return ReadFlavor(REALstringToOSType(flavorType), kREALTextEncodingRaw);
}

void rbAddData(REALobject, REALstring flavorType, REALstring data) {
    PutFlavor(REALstringToOSType(flavorType), data, 0);
}

bool rbTextAvailable(REALobject) {
    return FlavorPresent(kScrapFlavorTypeText);
}

int32_t rbTextSize(REALobject) {
    return FlavorSize(kScrapFlavorTypeText);
}

REALstring rbGetText(REALobject) {
    return ReadFlavor(kScrapFlavorTypeText, kREALTextEncodingRaw);
}

void rbAddText(REALobject, REALstring text) {
    PutFlavor(kScrapFlavorTypeText, text, kREALTextEncodingUTF8);
}

bool rbUTextAvailable(REALobject) {
    return FlavorPresent(kScrapFlavorTypeUnicode);
}

int32_t rbUTextSize(REALobject) {
    return FlavorSize(kScrapFlavorTypeUnicode) / 2;
}

REALstring rbGetUText(REALobject) {
    return ReadFlavor(kScrapFlavorTypeUnicode, kREALTextEncodingUTF16);
}

void rbAddUText(REALobject, REALstring text) {
    PutFlavor(kScrapFlavorTypeUnicode, text, kREALTextEncodingUTF16);
}

bool PictAvailable(REALobject) {
    return FlavorPresent(kScrapFlavorTypePicture);
}

void rbClear(REALobject) {
    ClearCurrentScrap();
}

void ScrapDestructor(REALobject self) {
    DropSnapshot(Data(self));
}

int32_t rbGetScrapFlavorCount(REALobject self) {
    ScrapData* data = Data(self);
    DropSnapshot(data);
    ScrapRef scrap = 0;
    if (GetCurrentScrap(&scrap) != scrapNoErr) return 0;
    uint32_t count = 0;
    if (GetScrapFlavorCount(scrap, &count) != scrapNoErr) return 0;
    auto* list = static_cast<ScrapFlavorInfo*>(
        AllocateClearMemory(int64_t{count} * int64_t{sizeof(ScrapFlavorInfo)}));
    if (!list) return 0;
    // Same scrap reference: the list belongs to the contents that were counted.
    if (GetScrapFlavorInfoList(scrap, &count, list) != scrapNoErr) {
        FreeMemoryNow(list);
        return 0;
    }
    data->flavorList = list;
    data->flavorCount = static_cast<int32_t>(count);
    return data->flavorCount;
}

int32_t GetFlavorInfoFlags(REALobject self, int32_t index) {
    const ScrapData* data = Data(self);
    if (!InSnapshot(data, index)) return 0;
    return static_cast<int32_t>(data->flavorList[index].flavorFlags);
}

REALstring GetFlavorInfoType(REALobject self, int32_t index) {
    const ScrapData* data = Data(self);
    if (!InSnapshot(data, index)) return nullptr;
    return REALBuildOSTypeString(data->flavorList[index].flavorType);
}

// ---- Registration -------------------------------------------------------------------------

namespace {

template <typename F>
REALproc Proc(F* function) {
    return reinterpret_cast<REALproc>(function);
}

}  // namespace

static REALpropertyRecord ScrapProperties[] = {
    {nullptr, "Handle", "Integer", 0, Proc(rbGetHandle), nullptr, 0, nullptr, 0, nullptr},
};

static REALmethodRecord ScrapMethods[] = {
    {Proc(rbDataSize), nullptr, "DataSize(FlavorType as string) as integer", 0},
    {Proc(rbDataAvailable), nullptr, "DataAvailable(FlavorType as string) as boolean", 0},
    {Proc(rbGetData), nullptr, "GetData(FlavorType as string) as string", 0},
    {Proc(rbAddData), nullptr, "AddData(FlavorType as string,data as string)", 0},
    {Proc(rbTextAvailable), nullptr, "TextAvailable as boolean", 0},
    {Proc(rbTextSize), nullptr, "TextSize as integer", 0},
    {Proc(rbGetText), nullptr, "GetText as string", 0},
    {Proc(rbAddText), nullptr, "AddText(Text as string)", 0},
    {Proc(rbUTextAvailable), nullptr, "UnicodeTextAvailable as boolean", 0},
    {Proc(rbUTextSize), nullptr, "UnicodeTextSize as integer", 0},
    {Proc(rbGetUText), nullptr, "GetUnicodeText as string", 0},
    {Proc(rbAddUText), nullptr, "AddUnicodeText(Text as string)", 0},
    {Proc(PictAvailable), nullptr, "PictAvailable as boolean", 0},
    {Proc(rbClear), nullptr, "Clear", 0},
    {Proc(ScrapDestructor), nullptr, "Close", 0},
    {Proc(rbGetScrapFlavorCount), nullptr, "ScrapFlavorCount as integer", 0},
    {Proc(GetFlavorInfoFlags), nullptr, "ScrapFlavorFlags(index as integer) as integer", 0},
    {Proc(GetFlavorInfoType), nullptr, "ScrapFlavorType(index as integer) as string", 0},
};

int32_t PluginEntry() {
    ScrapClass.version = kCurrentREALControlVersion;
    ScrapClass.name = "ClipboardZRQ";
    ScrapClass.dataSize = sizeof(ScrapData);
    ScrapClass.destructor = ScrapDestructor;
    ScrapClass.properties = ScrapProperties;
    ScrapClass.propertyCount = sizeof ScrapProperties / sizeof ScrapProperties[0];
    ScrapClass.methods = ScrapMethods;
    ScrapClass.methodCount = sizeof ScrapMethods / sizeof ScrapMethods[0];
    return MyREALRegisterClass(&ScrapClass);
}
