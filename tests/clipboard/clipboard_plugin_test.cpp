// ClipboardZRQ loaded by the real host, over the in-process clipboard (no GUI application).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QMimeData>
#include <climits>
#include <cstddef>
#include <memory>
#include <ostream>

#include "platform/scrap/ScrapStore.h"
#include "platform/scrap/testing.h"
#include "tests/clipboard/clipboard_helpers.h"

namespace {

using namespace cliptest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr ScrapFlavorType kText = kScrapFlavorTypeText;
constexpr ScrapFlavorType kZRQ1 = 0x5A525131;  // 'ZRQ1'

// "Grüße € 👋" as UTF-8 and as UTF-16 little-endian (10 units).
const std::string kUtf8Sample =
    "Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x82\xAC \xF0\x9F\x91\x8B";
const std::string kUtf16Sample{"G\0r\0\xFC\0\xDF\0e\0 \0\xAC\x20 \0\x3D\xD8\x4B\xDC", 20};

String raw(const std::string& bytes) {
    return String::fromBytes(bytes.data(), bytes.size(), rb::encoding::Raw);
}

using ClipboardPluginTest = ClipboardFixture;

TEST_F(ClipboardPluginTest, RegistersTheClassWithEveryRow) {
    const REALclassDefinition* record = rb::PluginHost::instance().findClass(kClass);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->dataSize, 16);
    EXPECT_EQ(record->propertyCount, 1);
    EXPECT_EQ(record->methodCount, 18);
    EXPECT_EQ(record->constructor, nullptr);
    EXPECT_NE(rb::PluginHost::instance().lookup("ClipboardZRQ.__exit"), nullptr);
    EXPECT_EQ(rb::PluginHost::instance().lookup("ClipboardZRQ.Handle.Set"), nullptr);
    EXPECT_STREQ(record->properties[0].type, "Integer");
    for (const char* declaration :
         {"DataSize(FlavorType as string) as integer",
          "DataAvailable(FlavorType as string) as boolean",
          "GetData(FlavorType as string) as string", "AddData(FlavorType as string,data as string)",
          "TextAvailable as boolean", "TextSize as integer", "GetText as string",
          "AddText(Text as string)", "UnicodeTextAvailable as boolean",
          "UnicodeTextSize as integer", "GetUnicodeText as string",
          "AddUnicodeText(Text as string)", "PictAvailable as boolean", "Clear", "Close",
          "ScrapFlavorCount as integer", "ScrapFlavorFlags(index as integer) as integer",
          "ScrapFlavorType(index as integer) as string", "Handle.Get"}) {
        EXPECT_NE(rb::PluginHost::instance().lookup(std::string(kClass) + "." + declaration),
                  nullptr)
            << declaration;
    }
    // A new instance starts with no snapshot.
    EXPECT_EQ(clip().data().flavorCount, 0);
    EXPECT_EQ(clip().data().flavorList, nullptr);
}

TEST_F(ClipboardPluginTest, TextIsReadAsTextAndUnicodeText) {
    ASSERT_EQ(putFlavor(kText, kUtf8Sample), scrapNoErr);
    EXPECT_TRUE(clip().TextAvailable());
    EXPECT_TRUE(clip().UnicodeTextAvailable());
    EXPECT_FALSE(clip().PictAvailable());
    EXPECT_EQ(clip().TextSize(), static_cast<int32_t>(kUtf8Sample.size()));
    EXPECT_EQ(clip().UnicodeTextSize(), 10);

    // Plain text comes back as the flavour's bytes, not taken for any encoding.
    String text = clip().GetText();
    EXPECT_EQ(text.encoding(), rb::encoding::Raw);
    EXPECT_EQ(bytesOf(text), kUtf8Sample);

    String unicode = clip().GetUnicodeText();
    EXPECT_EQ(unicode.encoding(), rb::encoding::UTF8);
    EXPECT_EQ(bytesOf(unicode), kUtf8Sample);
}

TEST_F(ClipboardPluginTest, NoTextReadsAsNothing) {
    ASSERT_EQ(putFlavor(kZRQ1, "not text"), scrapNoErr);
    EXPECT_FALSE(clip().TextAvailable());
    EXPECT_FALSE(clip().UnicodeTextAvailable());
    EXPECT_EQ(clip().TextSize(), 0);
    EXPECT_EQ(clip().UnicodeTextSize(), 0);
    EXPECT_TRUE(clip().GetText().isNil());
    EXPECT_TRUE(clip().GetUnicodeText().isNil());
}

TEST_F(ClipboardPluginTest, EmptyFlavoursArePresentButReadAsNil) {
    clip().AddText("");
    clip().AddData("ZRQ1", "");
    EXPECT_TRUE(clip().TextAvailable());
    EXPECT_EQ(clip().TextSize(), 0);
    EXPECT_TRUE(clip().GetText().isNil());
    EXPECT_TRUE(clip().GetUnicodeText().isNil());
    EXPECT_TRUE(clip().DataAvailable("ZRQ1"));
    EXPECT_EQ(clip().DataSize("ZRQ1"), 0);
    EXPECT_TRUE(clip().GetData("ZRQ1").isNil());
}

// What each text writer puts on the clipboard, read back as 'TEXT' (UTF-8 here).
struct TextWrite {
    const char* name;
    bool unicode;  // AddUnicodeText, else AddText
    String (*input)();
    std::string expected;
};

void PrintTo(const TextWrite& c, std::ostream* os) {
    *os << c.name;
}

class ClipboardPluginTextWrite : public ClipboardFixture,
                                 public ::testing::WithParamInterface<TextWrite> {};

TEST_P(ClipboardPluginTextWrite, PutsTheTextInTheFlavoursEncoding) {
    const TextWrite& c = GetParam();
    String input = c.input();
    if (c.unicode)
        clip().AddUnicodeText(input);
    else
        clip().AddText(input);
    EXPECT_EQ(flavorBytes(kText), c.expected);
    EXPECT_EQ(bytesOf(clip().GetUnicodeText()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipboardPluginTextWrite,
    ::testing::Values(
        TextWrite{"Utf8AsText", false, [] { return String(kUtf8Sample); }, kUtf8Sample},
        TextWrite{"MacRomanAsText", false,
                  [] { return String::fromBytes("caf\x8E", 4, rb::encoding::MacRoman); },
                  "caf\xC3\xA9"},
        TextWrite{"RawBytesAsTextAsStored", false, [] { return raw(kUtf8Sample); }, kUtf8Sample},
        TextWrite{"Utf16AsUnicodeText", true,
                  [] { return String(kUtf8Sample).convert(rb::encoding::UTF16); }, kUtf8Sample},
        TextWrite{"Utf8AsUnicodeText", true, [] { return String(kUtf8Sample); }, kUtf8Sample},
        TextWrite{"RawBytesAsUnicodeTextAsStored", true, [] { return raw(kUtf16Sample); },
                  kUtf8Sample}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClipboardPluginTest, NilArgumentsWriteNothing) {
    ASSERT_EQ(putFlavor(kText, "kept"), scrapNoErr);
    ASSERT_EQ(putFlavor(kZRQ1, "kept too"), scrapNoErr);
    const ScrapRef before = currentScrap();
    clip().AddText(String());
    clip().AddUnicodeText(String());
    clip().AddData("ZRQ1", String());
    EXPECT_EQ(currentScrap(), before) << "the clipboard was written";
    EXPECT_EQ(flavorBytes(kText), "kept");
    EXPECT_EQ(flavorBytes(kZRQ1), "kept too");
}

TEST_F(ClipboardPluginTest, UnicodeTextSizeCountsWholeUnits) {
    clip().AddUnicodeText(raw(std::string("a\0b\0c\0d", 7)));  // the odd byte is no unit
    EXPECT_EQ(clip().UnicodeTextSize(), 3);
    EXPECT_EQ(bytesOf(clip().GetUnicodeText()), "abc");
}

TEST_F(ClipboardPluginTest, DataFlavoursKeepTheirBytes) {
    const std::string bytes("\x01\0\xFE\x8E z", 6);
    clip().AddData("ZRQ1", raw(bytes));
    EXPECT_TRUE(clip().DataAvailable("ZRQ1"));
    EXPECT_FALSE(clip().DataAvailable("ZRQ2"));
    EXPECT_EQ(clip().DataSize("ZRQ1"), 6);
    EXPECT_EQ(clip().DataSize("ZRQ2"), 0);
    EXPECT_TRUE(clip().GetData("ZRQ2").isNil());
    String back = clip().GetData("ZRQ1");
    EXPECT_EQ(back.encoding(), rb::encoding::Raw);
    EXPECT_EQ(bytesOf(back), bytes);

    // Data go out as stored, whatever their tag: a UTF-16 string's own bytes.
    clip().AddData("ZRQ1", String("h\xC3\xA9").convert(rb::encoding::UTF16));
    EXPECT_EQ(flavorBytes(kZRQ1), std::string("h\0\xE9\0", 4));
}

TEST_F(ClipboardPluginTest, FlavoursOfSeveralMegabytesComeBackWhole) {
    std::string big(6 * 1024 * 1024 + 3, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    clip().AddData("ZRQ1", raw(big));
    EXPECT_EQ(clip().DataSize("ZRQ1"), static_cast<int32_t>(big.size()));
    EXPECT_TRUE(bytesOf(clip().GetData("ZRQ1")) == big);

    std::string text(3 * 1024 * 1024, 'x');
    text.replace(0, kUtf8Sample.size(), kUtf8Sample);
    clip().AddText(String(text));
    EXPECT_EQ(clip().TextSize(), static_cast<int32_t>(text.size()));
    EXPECT_TRUE(bytesOf(clip().GetText()) == text);
    EXPECT_TRUE(bytesOf(clip().GetUnicodeText()) == text);
}

TEST_F(ClipboardPluginTest, PicturesAreSeen) {
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(qRgba(200, 10, 40, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));

    EXPECT_FALSE(clip().PictAvailable());
    clip().AddData("PICT", raw(png.toStdString()));
    EXPECT_TRUE(clip().PictAvailable());
    EXPECT_TRUE(clip().DataAvailable("PICT"));
    QImage back;
    ASSERT_TRUE(back.loadFromData(QByteArray::fromStdString(bytesOf(clip().GetData("PICT")))));
    EXPECT_EQ(back.size(), image.size());
}

// The code a type string names, seen from the flavour that AddData writes under it.
struct TypeString {
    const char* name;
    String (*type)();
    ScrapFlavorType code;
};

void PrintTo(const TypeString& c, std::ostream* os) {
    *os << c.name;
}

class ClipboardPluginTypeString : public ClipboardFixture,
                                  public ::testing::WithParamInterface<TypeString> {};

TEST_P(ClipboardPluginTypeString, NamesItsCode) {
    String type = GetParam().type();
    clip().AddData(type, "payload");
    EXPECT_THAT(listedFlavors(), ElementsAre(GetParam().code));
    EXPECT_TRUE(clip().DataAvailable(type));
    EXPECT_EQ(bytesOf(clip().GetData(type)), "payload");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipboardPluginTypeString,
    ::testing::Values(
        TypeString{"FourLetters", [] { return String("ZRQ1"); }, 0x5A525131},
        TypeString{"LongerTextUsesItsFirstFour", [] { return String("ZRQ1 and more"); },
                   0x5A525131},
        TypeString{"ThreeLettersOverBlanks", [] { return String("ZRQ"); }, 0x5A525120},
        TypeString{"TwoLettersOverBlanks", [] { return String("ab"); }, 0x61622020},
        TypeString{"OneLetterOverBlanks", [] { return String("a"); }, 0x61202020},
        TypeString{"EmptyIsFourBlanks", [] { return String(""); }, 0x20202020},
        TypeString{"NilIsFourBlanks", [] { return String(); }, 0x20202020},
        TypeString{"NoMacRomanFormIsFourBlanks", [] { return String("\xF0\x9F\x98\x80xyz"); },
                   0x20202020},
        TypeString{"NonAsciiInMacRoman", [] { return String("\xC3\xA9t\xC3\xA9!"); }, 0x8E748E21},
        TypeString{"RawBytesAsMacRoman",
                   [] {
                       return raw(
                           "\x8E\xFF"
                           "AB");
                   },
                   0x8EFF4142},
        TypeString{"NulBytes", [] { return raw(std::string("a\0\0b", 4)); }, 0x61000062},
        TypeString{"Utf16Text", [] { return String("ZRQ1").convert(rb::encoding::UTF16); },
                   0x5A525131}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClipboardPluginTest, SnapshotListsTypesAsStrings) {
    ASSERT_EQ(putFlavor(kText, "t"), scrapNoErr);
    ASSERT_EQ(putFlavor(kZRQ1, "z"), scrapNoErr);
    ASSERT_EQ(putFlavor(0x8E414243, "high"), scrapNoErr);
    ASSERT_EQ(clip().ScrapFlavorCount(), 4);
    EXPECT_EQ(clip().data().flavorCount, 4);

    struct Expect {
        std::string bytes;
        rb::Encoding encoding;
    };
    const Expect expected[] = {{"TEXT", rb::encoding::ASCII},
                               {"utxt", rb::encoding::ASCII},
                               {"ZRQ1", rb::encoding::ASCII},
                               {"\x8E"
                                "ABC",
                                rb::encoding::MacRoman}};
    for (int32_t i = 0; i < 4; ++i) {
        String type = clip().ScrapFlavorType(i);
        EXPECT_EQ(bytesOf(type), expected[i].bytes) << i;
        EXPECT_EQ(type.encoding(), expected[i].encoding) << i;
        EXPECT_EQ(clip().ScrapFlavorFlags(i), 0) << i;
        // Each listed type names its flavour again.
        EXPECT_TRUE(clip().DataAvailable(type)) << i;
    }
    EXPECT_EQ(bytesOf(clip().GetData(clip().ScrapFlavorType(3))), "high");
}

TEST_F(ClipboardPluginTest, IndexesOutsideTheSnapshotAnswerNothing) {
    auto expectNothing = [&](const char* when, std::initializer_list<int32_t> indexes) {
        for (int32_t i : indexes) {
            EXPECT_EQ(clip().ScrapFlavorFlags(i), 0) << when << " " << i;
            EXPECT_TRUE(clip().ScrapFlavorType(i).isNil()) << when << " " << i;
        }
    };
    ASSERT_EQ(putFlavor(kZRQ1, "z"), scrapNoErr);
    expectNothing("before any count", {-1, 0, 1, INT32_MIN, INT32_MAX});
    ASSERT_EQ(clip().ScrapFlavorCount(), 1);
    EXPECT_EQ(bytesOf(clip().ScrapFlavorType(0)), "ZRQ1");
    expectNothing("past the count", {-1, 1, 2, INT32_MIN, INT32_MAX});

    clip().Close();
    expectNothing("after Close", {-1, 0, 1});

    ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
    EXPECT_EQ(clip().ScrapFlavorCount(), 0);
    EXPECT_EQ(clip().data().flavorList, nullptr);
    expectNothing("of an empty clipboard", {-1, 0, 1});
}

TEST_F(ClipboardPluginTest, SnapshotOutlivesChangesUntilCountedAgain) {
    ASSERT_EQ(putFlavor(kZRQ1, "z"), scrapNoErr);
    ASSERT_EQ(clip().ScrapFlavorCount(), 1);

    // Someone else replaces the contents: the old list is still answered.
    ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
    ASSERT_EQ(putFlavor(kText, "t"), scrapNoErr);
    EXPECT_EQ(bytesOf(clip().ScrapFlavorType(0)), "ZRQ1");
    EXPECT_TRUE(clip().ScrapFlavorType(1).isNil());

    ASSERT_EQ(clip().ScrapFlavorCount(), 2);
    EXPECT_EQ(bytesOf(clip().ScrapFlavorType(0)), "TEXT");
    EXPECT_EQ(bytesOf(clip().ScrapFlavorType(1)), "utxt");
}

TEST_F(ClipboardPluginTest, CloseMayRepeatAndTheInstanceStaysUsable) {
    ASSERT_EQ(putFlavor(kZRQ1, "z"), scrapNoErr);
    ASSERT_EQ(clip().ScrapFlavorCount(), 1);
    ASSERT_NE(clip().data().flavorList, nullptr);
    clip().Close();
    EXPECT_EQ(clip().data().flavorList, nullptr);
    EXPECT_EQ(clip().data().flavorCount, 0);
    clip().Close();  // a second free would abort the process here or at destruction

    ASSERT_EQ(clip().ScrapFlavorCount(), 1);
    EXPECT_EQ(bytesOf(clip().ScrapFlavorType(0)), "ZRQ1");
    clip().Close();
    clip().reset();  // the host's destructor after Close
}

TEST_F(ClipboardPluginTest, HandleIsTheCurrentScrap) {
    EXPECT_EQ(clip().Handle(), static_cast<int32_t>(currentScrap()));
    const int32_t before = clip().Handle();
    clip().AddText("changes it");
    EXPECT_NE(clip().Handle(), before);
    EXPECT_EQ(clip().Handle(), static_cast<int32_t>(currentScrap()));
}

TEST_F(ClipboardPluginTest, ClearEmptiesTheClipboard) {
    clip().AddText("gone");
    clip().AddData("ZRQ1", "gone too");
    clip().Clear();
    EXPECT_THAT(listedFlavors(), IsEmpty());
    EXPECT_FALSE(clip().TextAvailable());
    EXPECT_EQ(clip().ScrapFlavorCount(), 0);
}

// ---- A clipboard that cannot be had, or fails part-way -------------------------------------

// Holds contents like the in-process store; after `allowed` successful attaches every further
// attach fails.
class FailingStore : public vellora::scrap::Store {
  public:
    explicit FailingStore(int allowed) : allowed_(allowed) {}
    OSStatus attach() override { return allowed_-- > 0 ? scrapNoErr : scrapUnavailableErr; }
    const QMimeData* contents() override { return contents_.get(); }
    OSStatus replace(std::unique_ptr<QMimeData> contents) override {
        contents_ = std::move(contents);
        return scrapNoErr;
    }
    OSStatus clear() override { return scrapUnavailableErr; }
    void allow(int n) { allowed_ = n; }

  private:
    int allowed_;
    std::unique_ptr<QMimeData> contents_;
};

class ClipboardPluginFailure : public ClipboardFixture {
  protected:
    void SetUp() override {
        ClipboardFixture::SetUp();
        store_ = std::make_shared<FailingStore>(1000);
        vellora::scrap::testing::setStoreOverride(store_);
        ASSERT_EQ(putFlavor(kText, "held"), scrapNoErr);
        ASSERT_EQ(putFlavor(kZRQ1, "z"), scrapNoErr);
    }
    void TearDown() override {
        vellora::scrap::testing::setStoreOverride(nullptr);
        ClipboardFixture::TearDown();
    }
    std::shared_ptr<FailingStore> store_;
};

TEST_F(ClipboardPluginFailure, UnreachableClipboardAnswersFalseZeroOrNil) {
    ASSERT_EQ(clip().ScrapFlavorCount(), 3);
    store_->allow(0);

    EXPECT_FALSE(clip().TextAvailable());
    EXPECT_FALSE(clip().UnicodeTextAvailable());
    EXPECT_FALSE(clip().DataAvailable("ZRQ1"));
    EXPECT_FALSE(clip().PictAvailable());
    EXPECT_EQ(clip().TextSize(), 0);
    EXPECT_EQ(clip().UnicodeTextSize(), 0);
    EXPECT_EQ(clip().DataSize("ZRQ1"), 0);
    EXPECT_TRUE(clip().GetText().isNil());
    EXPECT_TRUE(clip().GetUnicodeText().isNil());
    EXPECT_TRUE(clip().GetData("ZRQ1").isNil());
    EXPECT_EQ(clip().Handle(), 0);
    clip().Clear();  // reports nothing
    clip().AddText("lost");
    clip().AddData("ZRQ1", "lost");

    // The old snapshot is dropped before the scrap is asked for.
    EXPECT_EQ(clip().ScrapFlavorCount(), 0);
    EXPECT_EQ(clip().data().flavorList, nullptr);
    EXPECT_TRUE(clip().ScrapFlavorType(0).isNil());

    store_->allow(1000);
    EXPECT_EQ(flavorBytes(kText), "held");
    EXPECT_EQ(flavorBytes(kZRQ1), "z");
}

TEST_F(ClipboardPluginFailure, ClearThatFailsKeepsTheContents) {
    clip().Clear();
    EXPECT_TRUE(clip().TextAvailable());
}

// Each call asks for the scrap and then the clipboard layer once per step; failing the last
// step must not look like success.
TEST_F(ClipboardPluginFailure, FailureAfterTheFirstStepsIsNoSuccess) {
    store_->allow(2);  // current scrap, count; not the list
    EXPECT_EQ(clip().ScrapFlavorCount(), 0);
    EXPECT_EQ(clip().data().flavorList, nullptr);
    EXPECT_EQ(clip().data().flavorCount, 0);

    store_->allow(2);  // current scrap, size; not the data
    EXPECT_TRUE(clip().GetText().isNil());
    store_->allow(2);
    EXPECT_TRUE(clip().GetData("ZRQ1").isNil());
    store_->allow(2);
    EXPECT_TRUE(clip().GetUnicodeText().isNil());
}

}  // namespace
