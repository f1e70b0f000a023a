// The system clipboard of a real QApplication on the offscreen platform.
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <thread>

#include "scrap_helpers.h"

using namespace scraptest;
using ::testing::ElementsAre;

namespace {

class ScrapClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override { clipboard()->clear(); }
    static QClipboard* clipboard() { return QGuiApplication::clipboard(); }
};

// The clipboard works in-process here; everything below relies on it.
TEST_F(ScrapClipboardTest, OffscreenClipboardHoldsWhatIsSet) {
    clipboard()->setText(QStringLiteral("probe"));
    EXPECT_EQ(clipboard()->text(), QStringLiteral("probe"));
}

TEST_F(ScrapClipboardTest, ClipboardTextIsSeenAsTextAndUnicodeText) {
    clipboard()->setText(QString::fromUtf8(kUtf8Sample));
    EXPECT_EQ(bytesOf(kText), kUtf8Sample);
    EXPECT_EQ(bytesOf(kUtxt), kUtf16Sample);
    EXPECT_THAT(listed(), ElementsAre(kText, kUtxt));
}

TEST_F(ScrapClipboardTest, ClearEmptiesTheSystemClipboard) {
    clipboard()->setText(QStringLiteral("to be cleared"));
    ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
    EXPECT_TRUE(clipboard()->text().isEmpty());
    const QMimeData* data = clipboard()->mimeData();
    EXPECT_TRUE(!data || data->formats().isEmpty());
    EXPECT_THAT(listed(), ::testing::IsEmpty());
}

TEST_F(ScrapClipboardTest, PutTextBecomesTheClipboardText) {
    ASSERT_EQ(put(kUtxt, kUtf16Sample), scrapNoErr);
    EXPECT_EQ(clipboard()->text(), QString::fromUtf8(kUtf8Sample));
    ASSERT_EQ(put(kText, "plain \xC3\xA9"), scrapNoErr);
    EXPECT_EQ(clipboard()->text(), QString::fromUtf8("plain \xC3\xA9"));
}

TEST_F(ScrapClipboardTest, CustomFlavourComesBackUnderItsMimeType) {
    const std::string bytes("\x01\x02\0\xFE", 4);
    ASSERT_EQ(put(0x5A525131, bytes), scrapNoErr);  // 'ZRQ1'
    EXPECT_EQ(bytesOf(0x5A525131), bytes);
    EXPECT_EQ(clipboard()->mimeData()->data(QStringLiteral("application/x-vellora-scrap-5a525131")),
              QByteArray::fromStdString(bytes));
    EXPECT_THAT(listed(), ElementsAre(0x5A525131u));
}

TEST_F(ScrapClipboardTest, OnlyOurOwnSpellingOfAFlavourIsListed) {
    auto* data = new QMimeData;
    data->setText(QStringLiteral("t"));
    data->setData(QStringLiteral("application/x-vellora-scrap-54455854"), "'TEXT' again");
    data->setData(QStringLiteral("application/x-vellora-scrap-5A525131"), "upper case");
    data->setData(QStringLiteral("application/x-vellora-scrap-5a52513"), "seven digits");
    data->setData(QStringLiteral("application/x-vellora-scrap-5a525131"), "ours");
    clipboard()->setMimeData(data);
    EXPECT_THAT(listed(), ElementsAre(kText, kUtxt, 0x5A525131u));
    EXPECT_EQ(bytesOf(kText), "t");
}

TEST_F(ScrapClipboardTest, PutKeepsWhatTheClipboardHeld) {
    auto* data = new QMimeData;
    data->setText(QStringLiteral("keep me"));
    data->setHtml(QStringLiteral("<b>keep me</b>"));
    QImage image(2, 2, QImage::Format_ARGB32);
    image.fill(qRgba(10, 200, 30, 255));
    data->setImageData(image);
    clipboard()->setMimeData(data);

    ASSERT_EQ(put(0x41424344, "extra"), scrapNoErr);
    const QMimeData* now = clipboard()->mimeData();
    EXPECT_EQ(now->text(), QStringLiteral("keep me"));
    EXPECT_EQ(now->html(), QStringLiteral("<b>keep me</b>"));
    EXPECT_EQ(qvariant_cast<QImage>(now->imageData()), image);
    EXPECT_THAT(listed(), ElementsAre(kText, kUtxt, kPict, 0x41424344u));

    // Replacing the text keeps the rest.
    ASSERT_EQ(put(kText, "new text"), scrapNoErr);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("new text"));
    EXPECT_EQ(clipboard()->mimeData()->html(), QStringLiteral("<b>keep me</b>"));
    EXPECT_EQ(bytesOf(0x41424344), "extra");
}

// Another program may paste any format the clipboard offers, so none may keep the old text or
// image once ours replaces it.
TEST_F(ScrapClipboardTest, PutLeavesNoOlderRenderingOfWhatItReplaces) {
    auto* data = new QMimeData;
    data->setText(QStringLiteral("old"));
    data->setData(QStringLiteral("text/plain;charset=utf-8"), "old");
    data->setData(QStringLiteral("image/png"), "old png");
    clipboard()->setMimeData(data);

    ASSERT_EQ(put(kText, "new"), scrapNoErr);
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    ASSERT_EQ(put(kPict, png.toStdString()), scrapNoErr);

    const QMimeData* now = clipboard()->mimeData();
    for (const QString& format : now->formats()) {
        SCOPED_TRACE(format.toStdString());
        EXPECT_NE(now->data(format), QByteArray("old"));
        EXPECT_NE(now->data(format), QByteArray("old png"));
    }
    EXPECT_EQ(now->text(), QStringLiteral("new"));
    EXPECT_EQ(qvariant_cast<QImage>(now->imageData()).convertToFormat(QImage::Format_ARGB32),
              image);
}

TEST_F(ScrapClipboardTest, PictureGoesBothWaysAsPng) {
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 255, 255));
    image.setPixel(1, 2, qRgba(255, 255, 0, 255));
    clipboard()->setImage(image);
    ASSERT_TRUE(present(kPict));
    const QImage read = QImage::fromData(QByteArray::fromStdString(bytesOf(kPict)), "PNG");
    EXPECT_EQ(read.convertToFormat(QImage::Format_ARGB32), image);

    clipboard()->clear();
    QImage other(5, 1, QImage::Format_ARGB32);
    other.fill(qRgba(1, 2, 3, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    other.save(&buffer, "PNG");
    ASSERT_EQ(put(kPict, png.toStdString()), scrapNoErr);
    EXPECT_EQ(clipboard()->image().convertToFormat(QImage::Format_ARGB32), other);
}

TEST_F(ScrapClipboardTest, ReferenceChangesWhenTheClipboardIsChangedFromOutside) {
    clipboard()->setText(QStringLiteral("before"));
    const ScrapRef before = current();
    EXPECT_EQ(current(), before);

    clipboard()->setText(QStringLiteral("after"));
    const ScrapRef after = current();
    EXPECT_NE(after, before);
    int32_t size = 0;
    EXPECT_EQ(GetScrapFlavorSize(before, kText, &size), scrapStaleRefErr);
    EXPECT_EQ(PutScrapFlavor(before, kText, 0, 4, "lost"), scrapStaleRefErr);
    EXPECT_EQ(clipboard()->text(), QStringLiteral("after"));

    ASSERT_EQ(put(kText, "ours"), scrapNoErr);
    EXPECT_NE(current(), after);
}

TEST_F(ScrapClipboardTest, CallsOffTheGuiThreadAreRefused) {
    clipboard()->setText(QStringLiteral("gui thread only"));
    OSStatus status = scrapNoErr;
    std::thread([&] {
        ScrapRef ref = 0;
        status = GetCurrentScrap(&ref);
    }).join();
    EXPECT_EQ(status, scrapWrongThreadErr);
    EXPECT_EQ(bytesOf(kText), "gui thread only");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
