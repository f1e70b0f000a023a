// Whole starts with a speech bundle whose service reports speech as not available: the
// message comes on every start, before the first start's notice and the help window, and
// start-up goes on after it.
#include <string>
#include <utility>
#include <vector>

#include "editor/Module1.h"
#include "help/Help.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/plugin_host.h"
#include "tests/editor/program_fixture.h"

namespace {

class ProgramSpeechUnavailable : public ProgramStarts {
  protected:
    void SetUp() override {
        ProgramStarts::SetUp();
        static char arg0[] = "vellora";
        static char* argv[] = {arg0, nullptr};
        rb::RuntimeInit(1, argv);
        // Loaded first, so start-up's own loading keeps this one and adds the real clipboard.
        rb::PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR "/speech-unavailable",
                                                   {"speech"});
    }
};

TEST_F(ProgramSpeechUnavailable, TheMessageComesFirstThenTheNoticeThenTheHelp) {
    // Each message with whether the help window was open while it was up.
    std::vector<std::pair<std::string, bool>> shown;
    dialogs_.onShow = [&](const std::string& text) {
        shown.emplace_back(text, rb::_GetImplicitWindow(Help::kClassName) != nullptr);
    };
    bool available = true, helpOpen = false, clipboard = false;
    int32_t rate = 0;
    start([&](Window1& w) {
        available = Module1::sp && Module1::sp->Available();
        helpOpen = rb::_GetImplicitWindow(Help::kClassName) != nullptr;
        clipboard = bool(Module1::C);
        rate = w.RateSlider()->Value();
    });
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, bool>>{{kSpeechUnavailable, false},
                                                                {kFirstStartNotice, false}}));
    EXPECT_FALSE(available);
    EXPECT_TRUE(helpOpen);
    EXPECT_TRUE(clipboard);
    EXPECT_EQ(rate, 200);  // the voice and its channel are there all the same
    EXPECT_EQ(readPrefs().back(), "#InitialLaunch False");

    // The next start says it again, and only that.
    shown.clear();
    start();
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, bool>>{{kSpeechUnavailable, false}}));
}

}  // namespace
