// Run from inside an installed tree: the host loads the installed speech bundle (from the
// tree's own plug-in folder, as the program does) and speaks one sentence into a WAV file.
// Exits 0 when the file holds more than a second of speech, 1 otherwise.
#include <sndfile.h>

#include <cstdio>
#include <vector>

#include "platform/rbframework/folder_item.h"
#include "tests/speech/plugin.h"

using namespace speechplugin;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.wav\n", argv[0]);
        return 2;
    }
    LoadBundle();
    {
        Obj speech = New("SpeechZRQ");
        Obj voice = speech ? ObjectOf(speech, "DefaultVoice as VoiceZRQ") : Obj();
        Obj channel = voice ? ObjectOf(voice, "NewChannel as SpeechChannelZRQ") : Obj();
        if (!channel) {
            std::fprintf(stderr, "no speech channel from the installed bundle\n");
            return 1;
        }
        auto item = rb::make<rb::FolderItem>(std::filesystem::path(argv[1]));
        if (!SetOutputFile(channel, item.get()) ||
            !Speak(channel, rb::String("The installed speech bundle speaks into a file.")) ||
            !WaitFor([&] { return !Get<bool>(channel, "Playing"); }, std::chrono::seconds(30))) {
            std::fprintf(stderr, "the channel did not speak into %s\n", argv[1]);
            return 1;
        }
        SetOutputFile(channel, nullptr);
        Do(channel, "Close");
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(argv[1], SFM_READ, &info);
    if (!f) {
        std::fprintf(stderr, "%s is not a sound file\n", argv[1]);
        return 1;
    }
    std::vector<short> samples(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    size_t loud = 0;
    for (short s : samples) loud += s > 1000 || s < -1000;
    if (info.frames < info.samplerate || loud < samples.size() / 10) {
        std::fprintf(stderr, "%s: %lld frames, %zu loud samples\n", argv[1],
                     static_cast<long long>(info.frames), loud);
        return 1;
    }
    std::printf("spoke %lld frames into %s\n", static_cast<long long>(info.frames), argv[1]);
    return 0;
}
