// The bounded reader against owners of the test's own on a private X server.
#include <gtest/gtest.h>

#include <QString>
#include <future>

#include "platform/scrap/SelectionReader.h"
#include "tests/scrap/private_x.h"

using namespace std::chrono_literals;
using vellora::scrap::ReadRequest;
using vellora::scrap::ReadResult;
using vellora::scrap::ReadStatus;
using vellora::testing::FakeOwner;
using vellora::testing::OwnerPlan;

namespace {

class SelectionReaderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { x_ = new vellora::testing::PrivateX; }
    static void TearDownTestSuite() { delete x_; }
    void SetUp() override {
        if (x_->display().empty()) GTEST_SKIP() << "no Xvfb to run a private X server";
    }
    ReadRequest request(std::chrono::milliseconds deadline = 1000ms,
                        int64_t maxBytes = 8 << 20) const {
        ReadRequest r;
        r.display = x_->display();
        r.targets = vellora::scrap::textTargets();
        r.deadline = deadline;
        r.maxBytes = maxBytes;
        return r;
    }
    static vellora::testing::PrivateX* x_;
};
vellora::testing::PrivateX* SelectionReaderTest::x_ = nullptr;

// Owners that answer are given time to spare: a loaded machine must not turn a whole read into
// a time-out.
constexpr auto kPatient = 10000ms;

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

TEST_F(SelectionReaderTest, ReadsTextWholeAtOnceAndInIncrements) {
    struct Case {
        const char* name;
        OwnerPlan plan;
    } cases[] = {
        {"at once", OwnerPlan::of(OwnerPlan::Answers, QByteArray("h\xc3\xa9llo\nworld"))},
        {"increments", OwnerPlan::incrementally(pattern(300 * 1024 + 7), 64 * 1024)},
        {"one small increment", OwnerPlan::incrementally(QByteArray("x"), 4096)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOwner owner(x_->display(), c.plan);
        const ReadResult r = vellora::scrap::readSelection(request(kPatient));
        ASSERT_EQ(r.status, ReadStatus::Ok);
        EXPECT_EQ(r.target, "UTF8_STRING");
        EXPECT_EQ(r.bytes, c.plan.text);
    }
}

TEST_F(SelectionReaderTest, FallsBackToLatinOneText) {
    FakeOwner owner(x_->display(), OwnerPlan::of(OwnerPlan::LatinOnly, QByteArray("caf\xe9")));
    const ReadResult r = vellora::scrap::readSelection(request(kPatient));
    ASSERT_EQ(r.status, ReadStatus::Ok);
    EXPECT_EQ(r.target, "STRING");
    EXPECT_EQ(vellora::scrap::resultText(r), QString::fromUtf8("caf\xc3\xa9"));
}

// Each hostile owner ends the read with nothing, and no later than the deadline; one that dies
// ends it before.
TEST_F(SelectionReaderTest, HostileOwnersEndTheReadWithNothingByTheDeadline) {
    struct Case {
        const char* name;
        OwnerPlan plan;
        ReadStatus expected;
    } cases[] = {
        {"never answers", OwnerPlan::of(OwnerPlan::Silent), ReadStatus::TimedOut},
        {"trickles", OwnerPlan::incrementally(pattern(4000), 1, 50ms), ReadStatus::TimedOut},
        {"dies mid-transfer",
         OwnerPlan::incrementally(pattern(200 * 1024), 16 * 1024).dyingAfter(2),
         ReadStatus::OwnerGone},
        {"offers only an image", OwnerPlan::of(OwnerPlan::ImageOnly), ReadStatus::NoSuchType},
    };
    const auto deadline = 600ms;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOwner owner(x_->display(), c.plan);
        const auto start = std::chrono::steady_clock::now();
        const ReadResult r = vellora::scrap::readSelection(request(deadline));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.status, c.expected);
        EXPECT_TRUE(r.bytes.isEmpty());
        EXPECT_LT(took, deadline + 400ms);
        if (c.expected != ReadStatus::TimedOut) {
            EXPECT_LT(took, deadline);
        }
    }
}

TEST_F(SelectionReaderTest, MoreThanTheCapIsRefusedWithoutReadingIt) {
    struct Case {
        const char* name;
        OwnerPlan plan;
    } cases[] = {
        {"at once", OwnerPlan::of(OwnerPlan::Answers, pattern(5000))},
        {"announced", OwnerPlan::incrementally(pattern(100), 4096).announcing(50LL << 20)},
        // An announced size is only a lower bound: the cap holds on what arrives.
        {"announced small", OwnerPlan::incrementally(pattern(5000), 1024).announcing(10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOwner owner(x_->display(), c.plan);
        const ReadResult r = vellora::scrap::readSelection(request(1000ms, 4096));
        EXPECT_EQ(r.status, ReadStatus::TooLarge);
        EXPECT_TRUE(r.bytes.isEmpty());
    }
}

TEST_F(SelectionReaderTest, NoOwnerAndNoDisplayAnswerAtOnce) {
    EXPECT_EQ(vellora::scrap::readSelection(request()).status, ReadStatus::NoOwner);
    ReadRequest nowhere = request();
    nowhere.display = ":4093";
    EXPECT_EQ(vellora::scrap::readSelection(nowhere).status, ReadStatus::Unavailable);
}

TEST_F(SelectionReaderTest, AReadOnItsThreadEndsAtCancelAndAtDestruction) {
    FakeOwner owner(x_->display(), OwnerPlan::of(OwnerPlan::Silent));
    std::promise<ReadStatus> status;
    {
        vellora::scrap::SelectionRead read(request(10s),
                                           [&](ReadResult r) { status.set_value(r.status); });
        const auto asked = std::chrono::steady_clock::now() + 5s;
        while (owner.requests() == 0 && std::chrono::steady_clock::now() < asked)
            std::this_thread::sleep_for(1ms);
        ASSERT_GT(owner.requests(), 0) << "the owner never saw the request";
        read.cancel();
        auto future = status.get_future();
        ASSERT_EQ(future.wait_for(2s), std::future_status::ready);
        EXPECT_EQ(future.get(), ReadStatus::Cancelled);
    }
    const auto start = std::chrono::steady_clock::now();
    {
        vellora::scrap::SelectionRead dropped(request(10s), [](ReadResult) {});
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

}  // namespace
