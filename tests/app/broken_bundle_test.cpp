// Start-up with a clipboard bundle that registers one declaration spelt differently: the
// program stops before making its application object, with a message naming the key, and
// leaves no table behind whose empty slot could be called.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/App.h"
#include "app/entrypoints.h"
#include "app/plugin_classes.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/testing.h"

namespace {

TEST(AppPluginBrokenBundle, StartUpStopsNamingTheFirstKeyThatResolvesToNothing) {
    int argc = 1;
    char arg0[] = "vellora";
    char* argv[] = {arg0, nullptr};
    rb::RuntimeInit(argc, argv);
    // Loaded first, so start-up's own loading keeps this one and adds the real speech bundle.
    rb::PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR "/broken", {"clipboard"});

    rb::testing::RecordingDialogs dialogs;
    bool released = false;
    ProgramParts parts;
    parts.bundles = {"speech", "clipboard"};
    parts.makeDefaultView = [] { ADD_FAILURE() << "start-up went on"; };
    parts.releaseModules = [&] { released = true; };
    int status = _Main(parts);

    EXPECT_NE(status, 0);
    EXPECT_TRUE(released);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find(
                  "The plug-in entry \"ClipboardZRQ.AddData(FlavorType as string,data as "
                  "string)\" was not found."),
              std::string::npos)
        << dialogs.messages[0];
    EXPECT_EQ(rb::Application::current(), nullptr);

    // Nothing can reach a slot: the table was never published.
    EXPECT_EQ(__plugin_entrypoints, nullptr);
    EXPECT_THROW(pluginEntrypoint(PluginSlot::ClipboardZRQ_Clear), rb::PluginError);
    auto clip = rb::make<ClipboardZRQ>();
    EXPECT_THROW(clip->Clear(), rb::PluginError);
    auto sp = rb::make<SpeechZRQ>();
    EXPECT_THROW(sp->Available(), rb::PluginError);
}

}  // namespace
