// The plug-in data of the three speech classes, as the host lays it out behind each object's
// header. Fields keep their documented order; handles are pointer-sized, integers keep their
// widths. Standard-field property rows take their params from offsetof on these structs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "plugin-interface/plugin_abi.h"

class rbText;

namespace speech {

struct SpeechData {
    bool Available;
    int32_t VersionStage;
    int32_t VersionMinor;
    int32_t VersionMajor;
    int32_t VersionRev;
    int32_t unused20;  // keeps Lasterror and the data size where the class always had them
    int32_t Lasterror;
    int32_t unused28[3];
};
static_assert(offsetof(SpeechData, Lasterror) == 24 && sizeof(SpeechData) == 40);

struct VoiceData {
    int32_t Version;
    REALstring Name;     // owned
    REALstring Comment;  // owned
    int32_t Gender;
    int32_t Age;
    int32_t Script;
    int32_t Language;
    int32_t Region;
    REALfolderItem File;  // owned
    int32_t ResID;
    VoiceSpec voiceSpec;      // the spec of a voice chosen by index; zero for the default voice
    VoiceSpec* voiceSpecPtr;  // &voiceSpec when chosen by index; null for the default voice
};

struct SpeechChannelData {
    REALobject Voice;       // owned: the voice the channel speaks with
    REALstring spokenText;  // owned: the Mac Roman text last handed to SpeakText
    int32_t Lasterror;
    SpeechChannel channelHandle;  // null before a channel is made and after Close
    // The view whose bytes SpeakText was given; lives as long as spokenText.
    rbText* spokenView;
};

}  // namespace speech
