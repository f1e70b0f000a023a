#include "editor/Module1.h"

namespace Module1 {

int32_t StartChar = 0;
rb::Ref<SpeechZRQ> sp;
rb::Ref<VoiceZRQ> vo;
rb::Ref<SpeechChannelZRQ> sc;
rb::Ref<ClipboardZRQ> C;

void Release() {
    sc = nullptr;
    sp = nullptr;
    vo = nullptr;
    C = nullptr;
    StartChar = 0;
}

}  // namespace Module1
