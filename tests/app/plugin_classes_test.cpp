// The program-side plug-in classes over the real bundles: what the main window does with them
// (service, default voice, channel, clipboard), the reference rules of each call, the field
// properties, creation without a constructor, nil objects, and that everything dies with its
// last reference.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/plugin_classes.h"
#include "platform/rbframework/folder_item.h"
#include "tests/app/plugin_test_support.h"
#include "tests/support/temp_folder.h"

namespace {

class AppPluginClasses : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { apptest::BindRealBundles(); }
    void SetUp() override {
        objects_ = rb::Object::liveCount();
        strings_ = rb::String::liveCount();
    }
    // Every test's objects and strings are gone once its locals are.
    void TearDown() override {
        EXPECT_EQ(rb::Object::liveCount(), objects_);
        EXPECT_EQ(rb::String::liveCount(), strings_);
    }

    static bool allZero(rb::PluginObject& o) {
        const auto* bytes = static_cast<const unsigned char*>(o.data());
        for (int32_t i = 0; i < o.record().dataSize; ++i) {
            if (bytes[i]) return false;
        }
        return true;
    }

  private:
    int64_t objects_ = 0;
    int64_t strings_ = 0;
};

TEST_F(AppPluginClasses, ServiceVoiceAndChannelAsTheMainWindowMakesThem) {
    auto sp = rb::make<SpeechZRQ>();
    EXPECT_TRUE(sp->Available());
    EXPECT_EQ(sp->Lasterror(), 0);
    EXPECT_EQ(sp->instance().refCount(), 1);
    EXPECT_GT(sp->VoiceCount(), 0);

    rb::Ref<VoiceZRQ> vo = sp->DefaultVoice();
    ASSERT_TRUE(vo);
    EXPECT_EQ(vo->refCount(), 1);
    EXPECT_EQ(vo->instance().refCount(), 1) << "an object result carries one reference";
    rb::String name = vo->Name();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.refCount(), 2) << "the voice's own and the caller's";

    rb::Ref<SpeechChannelZRQ> sc = vo->NewChannel();
    ASSERT_TRUE(sc);
    EXPECT_EQ(sc->instance().refCount(), 1);
    EXPECT_EQ(vo->instance().refCount(), 2) << "the channel holds its voice";
    {
        rb::Ref<VoiceZRQ> held = sc->Voice();
        ASSERT_TRUE(held);
        EXPECT_EQ(held->handle(), vo->handle());
        EXPECT_EQ(vo->instance().refCount(), 3);
    }
    EXPECT_EQ(vo->instance().refCount(), 2);
    EXPECT_EQ(sc->Lasterror(), 0);

    sc = nullptr;  // the channel's destructor gives its voice back
    EXPECT_EQ(vo->instance().refCount(), 1);
}

TEST_F(AppPluginClasses, VoicesByIndexAndTheirFields) {
    auto sp = rb::make<SpeechZRQ>();
    int32_t count = sp->VoiceCount();
    ASSERT_GT(count, 0);
    EXPECT_FALSE(sp->Voice(0));
    EXPECT_FALSE(sp->Voice(-1));
    EXPECT_FALSE(sp->Voice(count + 1));
    rb::Ref<VoiceZRQ> last = sp->Voice(count);
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->Name().empty());
    EXPECT_EQ(last->instance().refCount(), 1);
    // A file's reference, when there is one, is the caller's own besides the voice's.
    if (rb::Ref<rb::FolderItem> file = last->File()) {
        EXPECT_EQ(file->refCount(), 2);
    }

    // Close empties the strings; the destructor after it releases nothing twice.
    last->Close();
    EXPECT_TRUE(last->Name().isNil());
    EXPECT_TRUE(last->Comment().isNil());
    EXPECT_FALSE(last->File());
}

TEST_F(AppPluginClasses, ArgumentsKeepTheirCountsAndResultsCarryOne) {
    auto sp = rb::make<SpeechZRQ>();
    rb::Ref<VoiceZRQ> vo = sp->DefaultVoice();
    ASSERT_TRUE(vo);
    rb::Ref<SpeechChannelZRQ> sc = vo->NewChannel();
    ASSERT_TRUE(sc);

    // Speech into a file, so the test is silent and the channel really speaks.
    vellora_test::TempFolder folder("vellora-app-test");
    ASSERT_FALSE(folder.path().empty());
    auto file = rb::make<rb::FolderItem>(folder.path() / "words.aiff");
    EXPECT_TRUE(sc->SetOutputFile(file));
    EXPECT_EQ(file->refCount(), 1);

    rb::String text("Hello there.");
    int32_t before = text.refCount();
    EXPECT_TRUE(sc->Speak(text));
    EXPECT_EQ(text.refCount(), before);
    EXPECT_EQ(sc->instance().refCount(), 1);
    EXPECT_EQ(sc->Lasterror(), 0);
    EXPECT_TRUE(sc->Stop());
    EXPECT_TRUE(sc->SetOutputFile(nullptr));

    EXPECT_TRUE(sp->Speak(text));
    EXPECT_EQ(text.refCount(), before);
    EXPECT_EQ(sp->Lasterror(), 0);

    auto clip = rb::make<ClipboardZRQ>();
    rb::String type("ZRQ1");
    rb::String data("payload");
    int32_t typeBefore = type.refCount();
    int32_t dataBefore = data.refCount();
    clip->Clear();
    clip->AddData(type, data);
    EXPECT_EQ(type.refCount(), typeBefore);
    EXPECT_EQ(data.refCount(), dataBefore);
    EXPECT_TRUE(clip->DataAvailable(type));
    EXPECT_EQ(clip->DataSize(type), 7);
    rb::String back = clip->GetData(type);
    EXPECT_EQ(back.bytes(), "payload");
    EXPECT_EQ(back.refCount(), 1);
    ASSERT_GE(clip->ScrapFlavorCount(), 1);
    rb::String first = clip->ScrapFlavorType(0);
    EXPECT_EQ(first.refCount(), 1);
    EXPECT_TRUE(clip->ScrapFlavorType(-1).isNil());

    clip->AddText(rb::String("Vellora"));
    EXPECT_TRUE(clip->TextAvailable());
    EXPECT_EQ(clip->TextSize(), 7);
    rb::String got = clip->GetText();
    EXPECT_EQ(got.bytes(), "Vellora");
    EXPECT_EQ(got.refCount(), 1);
    clip->Clear();
    EXPECT_FALSE(clip->TextAvailable());
    EXPECT_TRUE(clip->GetText().isNil());
    clip->Close();

    sc = nullptr;
}

TEST_F(AppPluginClasses, AccessorsGoThroughTheirSlotsBooleansKeepTheirBit) {
    auto sp = rb::make<SpeechZRQ>();
    rb::Ref<VoiceZRQ> vo = sp->DefaultVoice();
    ASSERT_TRUE(vo);
    rb::Ref<SpeechChannelZRQ> sc = vo->NewChannel();
    ASSERT_TRUE(sc);

    sc->Rate(150);
    EXPECT_DOUBLE_EQ(sc->Rate(), 150.0);
    sc->SpeakCharactersLiteral(true);
    EXPECT_TRUE(sc->SpeakCharactersLiteral());
    sc->SpeakCharactersLiteral(false);
    EXPECT_FALSE(sc->SpeakCharactersLiteral());
    sc->SpeakNumbersLiteral(true);
    EXPECT_TRUE(sc->SpeakNumbersLiteral());
    EXPECT_FALSE(sc->Playing());
    EXPECT_FALSE(sc->Paused());
    EXPECT_EQ(sc->TextBytesToSpeak(), 0);
    EXPECT_DOUBLE_EQ(sc->Volume(), 65536.0);
}

TEST_F(AppPluginClasses, ClassesWithoutAConstructorStartZeroFilled) {
    auto clip = rb::make<ClipboardZRQ>();
    EXPECT_EQ(clip->instance().refCount(), 1);
    EXPECT_TRUE(allZero(clip->instance()));

    auto voice = rb::make<VoiceZRQ>();
    EXPECT_TRUE(allZero(voice->instance()));
    EXPECT_TRUE(voice->Name().isNil());
    EXPECT_EQ(voice->Version(), 0);
    EXPECT_FALSE(voice->File());

    // The channel's constructor does nothing either; a voice set later makes its channel.
    auto channel = rb::make<SpeechChannelZRQ>();
    EXPECT_TRUE(allZero(channel->instance()));
    EXPECT_FALSE(channel->Voice());

    auto sp = rb::make<SpeechZRQ>();
    rb::Ref<VoiceZRQ> vo = sp->DefaultVoice();
    ASSERT_TRUE(vo);
    channel->Voice(vo);
    rb::Ref<VoiceZRQ> set = channel->Voice();
    ASSERT_TRUE(set);
    EXPECT_EQ(set->handle(), vo->handle());
    channel->Voice(nullptr);
    EXPECT_FALSE(channel->Voice());
    EXPECT_EQ(vo->instance().refCount(), 2) << "the wrapper `set` and `vo`";
}

TEST_F(AppPluginClasses, NilObjectsRaiseAndWrappersKeepToTheirClass) {
    rb::Ref<SpeechChannelZRQ> none;
    EXPECT_THROW(none->Speak("words"), rb::NilObjectException);
    auto sp = rb::make<SpeechZRQ>();
    EXPECT_THROW(sp->Voice(0)->NewChannel(), rb::NilObjectException);
    EXPECT_FALSE(VoiceZRQ::adoptHandle(nullptr));
    EXPECT_THROW(VoiceZRQ::retainHandle(sp->handle()), rb::PluginError);
    EXPECT_EQ(sp->instance().refCount(), 1);
}

TEST_F(AppPluginClasses, AHandleWrappedAgainSharesTheInstance) {
    auto sp = rb::make<SpeechZRQ>();
    rb::Ref<SpeechZRQ> again = SpeechZRQ::retainHandle(sp->handle());
    EXPECT_EQ(sp->instance().refCount(), 2);
    EXPECT_TRUE(again->Available());
    sp = nullptr;
    EXPECT_EQ(again->instance().refCount(), 1);
    EXPECT_TRUE(again->Available());
}

}  // namespace
