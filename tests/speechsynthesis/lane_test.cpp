// A channel's ring of frames, producer and callback on one thread: what plays, in which order,
// and what a drop, a limit or a pause holds back.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/speechsynthesis/Lane.h"

namespace {

using vellora::speech::Lane;

class LaneTest : public ::testing::Test {
  protected:
    LaneTest() { lane.live = true; }

    // Frame i of what is written is 1 + i % 30000: never silent, each in its place.
    static int16_t Value(uint64_t i) { return int16_t(1 + i % 30000); }
    void Write(uint64_t n) {
        std::vector<int16_t> frames(n);
        for (auto& f : frames) f = Value(next++);
        lane.write(frames.data(), n);
    }
    // What one callback of `n` frames hears.
    std::vector<int32_t> Mix(size_t n) {
        std::vector<int32_t> acc(n, 0);
        acc.resize(lane.mixInto(acc.data(), n));
        return acc;
    }
    // Frames [first, first + n) of what was written, as heard.
    static std::vector<int32_t> Frames(uint64_t first, size_t n) {
        std::vector<int32_t> v(n);
        for (size_t k = 0; k < n; ++k) v[k] = Value(first + k);
        return v;
    }

    Lane lane;
    uint64_t next = 0;
};

TEST_F(LaneTest, FramesPlayInOrderAcrossTheRingsEnd) {
    EXPECT_EQ(lane.room(), Lane::kFrames);
    Write(Lane::kFrames - 100);
    EXPECT_EQ(lane.room(), 100u);
    // Only what was written plays: a callback asking for more gets the rest.
    while (lane.read < Lane::kFrames - 200)
        Mix(size_t(std::min<uint64_t>(4096, Lane::kFrames - 200 - lane.read)));
    EXPECT_EQ(Mix(500).size(), 100u);
    EXPECT_EQ(lane.room(), Lane::kFrames);
    EXPECT_TRUE(Mix(64).empty());

    Write(300);  // wraps round the end of the ring
    EXPECT_EQ(Mix(300), Frames(Lane::kFrames - 100, 300));
    EXPECT_EQ(lane.mixed, Lane::kFrames + 200);
}

TEST_F(LaneTest, ADropSkipsWhatWasNotPlayedUnheard) {
    Write(1000);
    Mix(100);
    lane.drop();
    EXPECT_TRUE(Mix(100).empty());
    EXPECT_EQ(lane.read, 1000u);  // the callback moved past it
    EXPECT_EQ(lane.mixed, 100u);
    Write(50);
    EXPECT_EQ(Mix(100), Frames(1000, 50));
}

// The producer keeps half the ring ahead; after a drop the other half takes new frames at
// once, before the callback has skipped the dropped ones, and never overwrites what it may
// still read.
TEST_F(LaneTest, ADropLeavesRoomForNewFramesBeforeTheCallbackSkips) {
    EXPECT_EQ(lane.space(), Lane::kHeld);
    Write(Lane::kHeld);
    EXPECT_EQ(lane.space(), 0u);
    Mix(100);
    EXPECT_EQ(lane.space(), 100u);
    lane.drop();
    EXPECT_EQ(lane.space(), Lane::kHeld);
    Write(Lane::kHeld);
    lane.drop();  // a second drop before the callback ran: only what is unread limits it
    EXPECT_EQ(lane.space(), 100u);
    Write(100);
    EXPECT_EQ(lane.room(), 0u);
    EXPECT_EQ(Mix(50), Frames(2 * Lane::kHeld, 50));
}

TEST_F(LaneTest, PlayStopsAtTheLimitUnlessItWasPassed) {
    Write(1000);
    lane.limit = 250;
    EXPECT_EQ(Mix(200), Frames(0, 200));
    EXPECT_EQ(Mix(200), Frames(200, 50));
    EXPECT_TRUE(Mix(200).empty());
    lane.limit = UINT64_MAX;  // the stop or pause was taken back
    EXPECT_EQ(Mix(100), Frames(250, 100));
    // Told too late: the frame where it should have stopped has played, so it plays on.
    lane.limit = 300;
    EXPECT_EQ(Mix(100), Frames(350, 100));
}

TEST_F(LaneTest, APausedOrFreeLaneHoldsItsPlace) {
    Write(500);
    Mix(100);
    for (bool paused : {true, false}) {
        SCOPED_TRACE(paused ? "paused" : "not live");
        lane.paused = paused;
        lane.live = paused;  // either paused, or taken from its channel
        EXPECT_TRUE(Mix(100).empty());
        EXPECT_EQ(lane.read, 100u);
        lane.paused = false;
        lane.live = true;
    }
    EXPECT_EQ(Mix(100), Frames(100, 100));
}

}  // namespace
