// VoiceZRQ: one installed voice and its description; speech channels are made from it.
#include <algorithm>

#include "speech/speech_plugin.h"

namespace {

speech::VoiceData* Data(REALobject self) {
    return instanceData<speech::VoiceData>(self, VoiceClass);
}

// A host string of a length-prefixed Mac Roman field of `capacity` bytes (length byte
// included); nil when it is empty. The length byte is not trusted past the field.
REALstring FieldString(const unsigned char* field, size_t capacity) {
    const size_t length = std::min<size_t>(field[0], capacity - 1);
    return REALBuildUnicodeString(field + 1, static_cast<int64_t>(length),
                                  kREALTextEncodingMacRoman);
}

}  // namespace

REALobject NewVoice(const VoiceSpec* spec, const VoiceDescription& description,
                    const VoiceFileInfo* fileInfo) {
    REALobject voice = REALnewInstance("VoiceZRQ");
    if (!voice) return nullptr;
    speech::VoiceData* d = Data(voice);
    d->Version = description.version;
    d->Name = FieldString(description.name, sizeof description.name);
    d->Comment = FieldString(description.comment, sizeof description.comment);
    d->Gender = description.gender;
    d->Age = description.age;
    d->Script = description.script;
    d->Language = description.language;
    d->Region = description.region;
    if (spec) {
        d->voiceSpec = *spec;
        d->voiceSpecPtr = &d->voiceSpec;
    }
    if (fileInfo) {
        d->File = REALFolderItemFromFSSpec(&fileInfo->fileSpec);
        d->ResID = fileInfo->resID;
    }
    return voice;
}

// Also "Close": each field is cleared after its release, so running it again releases nothing.
void VoiceDestructor(REALobject self) {
    speech::VoiceData* d = Data(self);
    if (d->Name) {
        REALUnlockString(d->Name);
        d->Name = nullptr;
    }
    if (d->Comment) {
        REALUnlockString(d->Comment);
        d->Comment = nullptr;
    }
    if (d->File) {
        REALUnlockObject(reinterpret_cast<REALobject>(d->File));
        d->File = nullptr;
    }
}
