// Speech into a sound file: the channel's output is pointed at the file URL of a folder item.
#include "speech/speech_plugin.h"

namespace {

// The URL of an item that exists, or null.
CFURLRef ExistingItemURL(REALfolderItem item) {
    FSRef ref{};
    if (!REALFSRefFromFolderItem(item, &ref, nullptr)) return nullptr;
    return CFURLCreateFromFSRef(nullptr, &ref);
}

// The URL of an item not created yet: its folder's URL plus its name, decomposed as file
// names are. False when the folder or the name cannot be had (the caller tries its last
// way); true with *url set otherwise, null included when the two cannot be joined.
bool NewItemURL(REALfolderItem item, CFURLRef* url) {
    FSRef ref{};
    HFSUniStr255 leaf{};
    if (!REALFSRefFromFolderItem(item, &ref, &leaf)) return false;
    CFURLRef folder = CFURLCreateFromFSRef(nullptr, &ref);
    if (!folder) return false;
    CFStringRef name = leaf.length > 0
                           ? CFStringCreateWithCharacters(nullptr, leaf.unicode, leaf.length)
                           : nullptr;
    if (!name) {
        CFRelease(folder);
        return false;
    }
    if (CFMutableStringRef decomposed = CFStringCreateMutableCopy(nullptr, 0, name)) {
        CFStringNormalize(decomposed, kCFStringNormalizationFormD);
        CFRelease(name);
        name = decomposed;
    }
    *url = CFURLCreateCopyAppendingPathComponent(nullptr, folder, name, false);
    CFRelease(name);
    CFRelease(folder);
    return true;
}

}  // namespace

CFURLRef MakeCFURLfromFolderItem(REALfolderItem item) {
    if (!item) return nullptr;
    if (CFURLRef url = ExistingItemURL(item)) return url;
    CFURLRef url = nullptr;
    if (NewItemURL(item, &url)) return url;
    FSSpec spec{};
    FSRef ref{};
    if (REALFSSpecFromFolderItem(&spec, item) && FSpMakeFSRef(&spec, &ref) == noErr)
        return CFURLCreateFromFSRef(nullptr, &ref);
    return nullptr;
}

bool SynthesizeSpeechToFile(REALobject self, REALfolderItem file) {
    SpeechChannel ch =
        instanceData<speech::SpeechChannelData>(self, SpeechChannelClass)->channelHandle;
    if (!ch) return false;
    if (!file) return SetSpeechInfo(ch, kSpeechOutputFileSelector, nullptr) == noErr;
    CFURLRef url = MakeCFURLfromFolderItem(file);
    if (!url) return false;
    const OSErr err = SetSpeechInfo(ch, kSpeechOutputFileSelector, url);
    CFRelease(url);
    return err == noErr;
}
