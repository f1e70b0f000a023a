// The in-process store: this executable creates no GUI application.
#include <QBuffer>
#include <QImage>
#include <QMimeData>
#include <QThread>
#include <cstring>
#include <memory>

#include "platform/scrap/testing.h"
#include "scrap_helpers.h"

using namespace scraptest;
using ::testing::ElementsAre;

namespace {

class ScrapStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(ClearCurrentScrap(), scrapNoErr); }
};

std::string pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png.toStdString();
}

QImage sampleImage() {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(0, 0, qRgba(255, 0, 0, 255));
    image.setPixel(2, 1, qRgba(0, 0, 255, 128));
    return image;
}

TEST_F(ScrapStoreTest, FlavoursComeBackByteForByte) {
    struct Case {
        ScrapFlavorType type;
        std::string bytes;
    };
    const Case cases[] = {
        {kText, kUtf8Sample},
        {kUtxt, kUtf16Sample},
        {0x61626364, std::string("bin\0\xFF\x80 data", 11)},  // 'abcd', bytes not text
        {0xFF80A5C3, "non-ASCII code"},
        {0x00000000, "zero code"},
        {0x20202020, "four blanks"},
        {0x74657874, "'text' is not 'TEXT'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
        ASSERT_EQ(put(c.type, c.bytes), scrapNoErr);
        EXPECT_TRUE(present(c.type));
        EXPECT_EQ(bytesOf(c.type), c.bytes);
    }
}

TEST_F(ScrapStoreTest, TextAndUnicodeTextAreTwoViewsOfOneText) {
    ASSERT_EQ(put(kText, kUtf8Sample), scrapNoErr);
    EXPECT_EQ(bytesOf(kUtxt), kUtf16Sample);
    EXPECT_THAT(listed(), ElementsAre(kText, kUtxt));

    ASSERT_EQ(put(kUtxt, std::string("h\0i\0", 4)), scrapNoErr);
    EXPECT_EQ(bytesOf(kText), "hi");

    // A dangling half unit is dropped: 7 bytes hold 3 units.
    ASSERT_EQ(put(kUtxt, std::string("a\0b\0c\0d", 7)), scrapNoErr);
    EXPECT_EQ(bytesOf(kUtxt), std::string("a\0b\0c\0", 6));
}

TEST_F(ScrapStoreTest, EmptyFlavoursArePresentWithSizeZero) {
    for (ScrapFlavorType type : {kText, 0x65656565u}) {
        SCOPED_TRACE(type);
        ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
        ASSERT_EQ(PutScrapFlavor(current(), type, 0, 0, nullptr), scrapNoErr);
        EXPECT_TRUE(present(type));
        int32_t size = -1;
        EXPECT_EQ(GetScrapFlavorSize(current(), type, &size), scrapNoErr);
        EXPECT_EQ(size, 0);
        int32_t room = 0;
        EXPECT_EQ(GetScrapFlavorData(current(), type, &room, nullptr), scrapNoErr);
        EXPECT_EQ(room, 0);
    }
}

TEST_F(ScrapStoreTest, PictureIsHeldAsAnImageAndReadAsPng) {
    const QImage image = sampleImage();
    ASSERT_EQ(put(kPict, pngOf(image)), scrapNoErr);
    EXPECT_THAT(listed(), ElementsAre(kPict));
    const std::string png = bytesOf(kPict);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1A\n");
    const QImage back = QImage::fromData(QByteArray::fromStdString(png));
    EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), image);

    // Bytes that are no image are refused and change nothing.
    const ScrapRef before = current();
    EXPECT_EQ(put(kPict, "not an image"), scrapBadFlavorDataErr);
    EXPECT_EQ(put(kPict, ""), scrapBadFlavorDataErr);
    EXPECT_EQ(current(), before);
    EXPECT_EQ(bytesOf(kPict), png);
}

TEST_F(ScrapStoreTest, PutAddsToWhatIsHeldAndReplacesTheSameFlavour) {
    ASSERT_EQ(put(0x41414141, "first custom"), scrapNoErr);
    ASSERT_EQ(put(kPict, pngOf(sampleImage())), scrapNoErr);
    ASSERT_EQ(put(kText, "text"), scrapNoErr);
    ASSERT_EQ(put(0x42424242, "second custom"), scrapNoErr);
    ASSERT_EQ(put(0x41414141, "first, again"), scrapNoErr);

    const std::vector<ScrapFlavorType> types = listed();
    EXPECT_THAT(types,
                ::testing::UnorderedElementsAre(kText, kUtxt, kPict, 0x41414141u, 0x42424242u));
    // The mapped flavours lead the list.
    ASSERT_GE(types.size(), 3u);
    EXPECT_THAT(std::vector(types.begin(), types.begin() + 3), ElementsAre(kText, kUtxt, kPict));
    EXPECT_EQ(bytesOf(0x41414141), "first, again");
    EXPECT_EQ(bytesOf(0x42424242), "second custom");
    EXPECT_EQ(bytesOf(kText), "text");
    EXPECT_FALSE(QImage::fromData(QByteArray::fromStdString(bytesOf(kPict))).isNull());
}

TEST_F(ScrapStoreTest, InfoListFillsNoMoreThanTheRoomGiven) {
    for (ScrapFlavorType type : {0x31313131u, 0x32323232u, 0x33333333u})
        ASSERT_EQ(put(type, "x"), scrapNoErr);
    const ScrapRef ref = current();

    ScrapFlavorInfo info[3] = {{0, 7}, {0, 7}, {0xABCD, 7}};
    uint32_t room = 2;
    ASSERT_EQ(GetScrapFlavorInfoList(ref, &room, info), scrapNoErr);
    EXPECT_EQ(room, 2u);
    EXPECT_EQ(info[0].flavorType, 0x31313131u);
    EXPECT_EQ(info[1].flavorType, 0x32323232u);
    EXPECT_EQ(info[0].flavorFlags, 0u);
    EXPECT_EQ(info[2].flavorType, 0xABCDu) << "written past the room given";

    room = 0;
    EXPECT_EQ(GetScrapFlavorInfoList(ref, &room, nullptr), scrapNoErr);
    EXPECT_EQ(room, 0u);
}

TEST_F(ScrapStoreTest, ClearEmptiesTheScrap) {
    ASSERT_EQ(put(kText, "gone soon"), scrapNoErr);
    ASSERT_EQ(put(0x43434343, "also"), scrapNoErr);
    ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
    EXPECT_THAT(listed(), ::testing::IsEmpty());
    EXPECT_FALSE(present(kText));
    EXPECT_FALSE(present(kUtxt));
    EXPECT_FALSE(present(0x43434343));
    std::string bytes;
    EXPECT_EQ(read(kText, &bytes), scrapNoTypeErr);
    // Clearing an empty scrap is fine too.
    EXPECT_EQ(ClearCurrentScrap(), scrapNoErr);
}

TEST_F(ScrapStoreTest, ReferenceIsStableUntilTheContentsChange) {
    ASSERT_EQ(put(kText, "hi"), scrapNoErr);
    const ScrapRef first = current();
    EXPECT_NE(first, 0u);
    EXPECT_LE(first, 0x7FFFFFFFu);
    listed();  // reading leaves it alone
    bytesOf(kText);
    EXPECT_EQ(current(), first);

    ASSERT_EQ(PutScrapFlavor(first, kText, 0, 2, "ho"), scrapNoErr);
    const ScrapRef afterPut = current();
    EXPECT_NE(afterPut, first);
    ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
    EXPECT_NE(current(), afterPut);
    EXPECT_NE(current(), first);
}

TEST_F(ScrapStoreTest, StaleReferenceIsRefusedByEveryCall) {
    ASSERT_EQ(put(kText, "old"), scrapNoErr);
    const ScrapRef stale = current();
    ASSERT_EQ(put(kText, "new"), scrapNoErr);  // as if someone else copied in between

    ScrapFlavorFlags flags;
    int32_t size = 10;
    char buffer[10];
    uint32_t count = 4;
    ScrapFlavorInfo info[4];
    EXPECT_EQ(GetScrapFlavorFlags(stale, kText, &flags), scrapStaleRefErr);
    EXPECT_EQ(GetScrapFlavorSize(stale, kText, &size), scrapStaleRefErr);
    EXPECT_EQ(GetScrapFlavorData(stale, kText, &size, buffer), scrapStaleRefErr);
    EXPECT_EQ(GetScrapFlavorCount(stale, &count), scrapStaleRefErr);
    EXPECT_EQ(GetScrapFlavorInfoList(stale, &count, info), scrapStaleRefErr);
    EXPECT_EQ(PutScrapFlavor(stale, kText, 0, 5, "lost!"), scrapStaleRefErr);
    EXPECT_EQ(PutScrapFlavor(0, kText, 0, 5, "lost!"), scrapStaleRefErr);
    EXPECT_EQ(bytesOf(kText), "new");
}

TEST_F(ScrapStoreTest, SeveralMegabyteFlavourRoundTrips) {
    std::string big(8 * 1024 * 1024 + 3, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 12));
    ASSERT_EQ(put(0x42494721, big), scrapNoErr);
    EXPECT_EQ(bytesOf(0x42494721), big);

    std::string text(3 * 1024 * 1024, 'w');
    ASSERT_EQ(put(kText, text), scrapNoErr);
    int32_t size = 0;
    ASSERT_EQ(GetScrapFlavorSize(current(), kUtxt, &size), scrapNoErr);
    EXPECT_EQ(size, 6 * 1024 * 1024);
}

TEST_F(ScrapStoreTest, ShortBufferGetsNothingAndLearnsTheSizeNeeded) {
    ASSERT_EQ(put(kText, "twelve bytes"), scrapNoErr);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    for (int32_t short_room : {0, 5, 11}) {
        SCOPED_TRACE(short_room);
        int32_t room = short_room;
        EXPECT_EQ(GetScrapFlavorData(current(), kText, &room, buffer), scrapBufferTooSmallErr);
        EXPECT_EQ(room, 12);
        EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '#'));
    }

    int32_t room = 16;  // more room than needed: the flavour's own size comes back
    EXPECT_EQ(GetScrapFlavorData(current(), kText, &room, buffer), scrapNoErr);
    EXPECT_EQ(room, 12);
    EXPECT_EQ(std::string(buffer, 12), "twelve bytes");
    EXPECT_EQ(buffer[12], '#');
}

TEST_F(ScrapStoreTest, BadArgumentsAreRefused) {
    ASSERT_EQ(put(kText, "kept"), scrapNoErr);
    const ScrapRef ref = current();
    char buffer[8];
    int32_t negative = -1;
    int32_t some = 4;
    uint32_t count = 2;
    EXPECT_EQ(GetCurrentScrap(nullptr), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorFlags(ref, kText, nullptr), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorSize(ref, kText, nullptr), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorData(ref, kText, nullptr, buffer), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorData(ref, kText, &negative, buffer), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorData(ref, kText, &some, nullptr), scrapParamErr);
    EXPECT_EQ(PutScrapFlavor(ref, kText, 0, -1, "x"), scrapParamErr);
    EXPECT_EQ(PutScrapFlavor(ref, kText, 0, 3, nullptr), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorCount(ref, nullptr), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorInfoList(ref, nullptr, nullptr), scrapParamErr);
    EXPECT_EQ(GetScrapFlavorInfoList(ref, &count, nullptr), scrapParamErr);

    int32_t size = -7;
    ScrapFlavorFlags flags = 9;
    EXPECT_EQ(GetScrapFlavorSize(ref, 0x6D697373, &size), scrapNoTypeErr);
    EXPECT_EQ(GetScrapFlavorFlags(ref, kPict, &flags), scrapNoTypeErr);
    EXPECT_EQ(size, -7);
    EXPECT_EQ(flags, 9u);
    EXPECT_EQ(current(), ref) << "a refused call changed the contents";
    EXPECT_EQ(bytesOf(kText), "kept");
}

TEST_F(ScrapStoreTest, ThreadsShareOneStore) {
    constexpr int kThreads = 4;
    constexpr int kPuts = 50;
    // Qt's own threads: a plain thread that makes Qt objects leaves Qt's per-thread record
    // behind when it ends.
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(QThread::create([t] {
            for (int i = 0; i < kPuts; ++i) {
                const auto type = static_cast<ScrapFlavorType>(0x54300000 + t * 0x100 + i);
                const std::string bytes = std::to_string(t * 1000 + i);
                // Another thread may change the scrap between the two calls.
                OSStatus status;
                do {
                    ScrapRef ref = 0;
                    GetCurrentScrap(&ref);
                    status = PutScrapFlavor(ref, type, 0, static_cast<int32_t>(bytes.size()),
                                            bytes.data());
                } while (status == scrapStaleRefErr);
                EXPECT_EQ(status, scrapNoErr);
            }
        }));
        threads.back()->start();
    }
    for (auto& thread : threads) thread->wait();
    EXPECT_EQ(listed().size(), static_cast<size_t>(kThreads * kPuts));
    EXPECT_EQ(bytesOf(0x54300000 + 3 * 0x100 + 49), "3049");
}

// A store whose clipboard cannot be had, standing in through the test seam.
class UnreachableStore : public vellora::scrap::Store {
  public:
    OSStatus attach() override { return scrapUnavailableErr; }
    const QMimeData* contents() override { return nullptr; }
    OSStatus replace(std::unique_ptr<QMimeData>) override { return scrapUnavailableErr; }
    OSStatus clear() override { return scrapUnavailableErr; }
};

TEST_F(ScrapStoreTest, StoreOverrideStandsInUntilReset) {
    ASSERT_EQ(put(kText, "survives"), scrapNoErr);
    const ScrapRef before = current();

    vellora::scrap::testing::setStoreOverride(std::make_shared<UnreachableStore>());
    ScrapRef ref = 0;
    EXPECT_EQ(GetCurrentScrap(&ref), scrapUnavailableErr);
    EXPECT_EQ(ClearCurrentScrap(), scrapUnavailableErr);
    uint32_t count = 0;
    EXPECT_EQ(GetScrapFlavorCount(before, &count), scrapUnavailableErr);
    vellora::scrap::testing::setStoreOverride(nullptr);

    EXPECT_EQ(bytesOf(kText), "survives");
    EXPECT_NE(current(), before) << "switching stores keeps the old reference";
}

}  // namespace
