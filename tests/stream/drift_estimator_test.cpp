#include "stream/drift_estimator.h"

#include <gtest/gtest.h>

#include "tests/stream/drift_simulation.h"

using namespace larkwire;
using namespace larkwire::sim;

// Ten simulated minutes at a drift far beyond real audio clocks, with jittered
// and held-up datagrams and a host that runs its blocks in pairs: the queue
// neither runs dry nor overflows, and the latency stays within a block of
// where playing started, from the first second on.
TEST(DriftEstimator, HoldsTheLatencyAtAThousandPpmEitherWay) {
    for (double ppm : {1000.0, -1000.0}) {
        DriftScenario s;
        s.senderPpm = ppm;
        const DriftOutcome o = DriftSimulation(s).run(600, 0);
        EXPECT_EQ(o.underruns, 0) << ppm;
        EXPECT_EQ(o.overflows, 0) << ppm;
        EXPECT_LE(o.worstLatencyDeviationBlocks, 1.0) << ppm;
        EXPECT_LT(o.blocksAtRatioOne, o.blocks / 20) << ppm << ": engaged within seconds";
        EXPECT_NEAR(o.finalDriftPpm, ppm, 250) << ppm;
    }
}

TEST(DriftEstimator, SmallDriftIsFollowedToo) {
    DriftScenario s;
    s.senderPpm = -100;
    s.pairedHostCalls = false;
    const DriftOutcome o = DriftSimulation(s).run(600, 0);
    EXPECT_EQ(o.underruns, 0);
    EXPECT_LE(o.latencySpreadBlocks, 1.25);
}

// Equal clocks, an hour of jitter, spikes and paired host calls, the
// sender's blocks arriving right around the host's calls (so the level seen
// flips between two values): the ratio never leaves exactly 1, so the stream
// stays a plain copy.
TEST(DriftEstimator, EqualClocksKeepTheRatioAtExactlyOneForAnHour) {
    DriftScenario s;
    s.networkJitterMs = 4;
    s.spikeMs = 25;
    s.senderOffsetMs = -2.5;
    const DriftOutcome o = DriftSimulation(s).run(3600, 0);
    EXPECT_EQ(o.underruns, 0);
    EXPECT_EQ(o.blocksAtRatioOne, o.blocks);
    EXPECT_EQ(o.finalDriftPpm, 0.0);
}

TEST(DriftEstimator, IgnoresNonsenseAndStartsOver) {
    DriftEstimator e;
    for (int i = 0; i < 2000; ++i) e.observe(4096 + i * 8.0, 2048, 512, 48000);
    EXPECT_GT(e.ratio(), 1.0);
    EXPECT_GT(e.driftPpm(), 0.0);
    const double before = e.ratio();
    e.observe(std::nan(""), 2048, 512, 48000);
    e.observe(2048, 2048, 0, 48000);
    e.observe(2048, 2048, 512, 0);
    EXPECT_EQ(e.ratio(), before);
    e.reset();
    EXPECT_EQ(e.ratio(), 1.0);
    EXPECT_EQ(e.driftPpm(), 0.0);
}

// A host that stalls for 12 blocks and then catches up sees the queue 12
// blocks high and draining; once every 30 s for an hour, that is no drift.
TEST(DriftEstimator, StallsOfTheHostLeaveTheDeadBandAlone) {
    DriftEstimator e;
    bool alwaysOne = true;
    for (int block = 0; block < 3600 * 48000 / 512; ++block) {
        const int sinceStall = (block + 1406) % 2812;  // the first at 15 s
        const double excess = sinceStall < 12 ? (12 - sinceStall) * 512.0 : 0.0;
        e.observe(2048 + excess, 2048, 512, 48000);
        alwaysOne = alwaysOne && e.ratio() == 1.0;
    }
    EXPECT_TRUE(alwaysOne);
}
