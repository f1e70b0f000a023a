// Stands between the speech bundle's classes and their registration (the build renames the
// bundle's calls of MyREALRegisterClass to this function) and gives SpeechZRQ a constructor
// that runs the real one and then reports speech as not available, as a computer without a
// working synthesizer would.
#undef MyREALRegisterClass

#include <cstring>

#include "speech/speech_plugin.h"

namespace {

void (*realConstructor)(REALobject) = nullptr;

void ConstructUnavailable(REALobject self) {
    realConstructor(self);
    instanceData<speech::SpeechData>(self, SpeechClass)->Available = false;
}

}  // namespace

int32_t RegisterWithSpeechUnavailable(REALclassDefinition* record) {
    if (record->name && std::strcmp(record->name, "SpeechZRQ") == 0 &&
        record->constructor != ConstructUnavailable) {
        realConstructor = record->constructor;
        record->constructor = ConstructUnavailable;
    }
    return MyREALRegisterClass(record);
}
