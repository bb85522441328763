// The command-line host's judgements: a false "bit-exact", a wrong MIDI
// offset or a wrapped latency would make every end-to-end test meaningless.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/cli_host/analysis.h"
#include "tools/cli_host/options.h"
#include "tools/cli_host/signals.h"
#include "tools/cli_host/stream_watch.h"

using namespace larkwire::cli;

namespace {

std::vector<float> tone(double hz, double peak, double rate, std::int64_t from, std::int64_t count) {
    std::vector<float> out;
    for (std::int64_t n = from; n < from + count; ++n) out.push_back(toneSample(hz, peak, rate, n));
    return out;
}

ParseResult parse(std::vector<std::string> args, Options* o, std::string* error) {
    args.insert(args.begin(), "larkwire-host");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return parseOptions(int(argv.size()), argv.data(), o, error);
}

}  // namespace

TEST(CliTone, SamplesAreSixteenBitSteps) {
    for (std::int64_t n = 0; n < 1000; ++n) {
        const float s = toneSample(997, 0.5, 48000, n);
        EXPECT_EQ(s * 32768.0f, float(int(s * 32768.0f)));
    }
    // Whole frequencies repeat after one second of samples, far into a run.
    EXPECT_EQ(toneSample(440, 0.5, 48000, 7), toneSample(440, 0.5, 48000, 7 + 48000LL * 3600));
}

TEST(CliTone, CheckFindsLateStartDropoutsAndOneWrongSample) {
    const double rate = 48000, peak = 0.5;
    // Silence, then the tone joined mid-stream, a dropout, then later tone.
    std::vector<float> got(1000, 0.0f);
    const std::vector<float> a = tone(440, peak, rate, 12345, 3000);
    const std::vector<float> b = tone(440, peak, rate, 20000, 2000);
    got.insert(got.end(), a.begin(), a.end());
    got.insert(got.end(), 512, 0.0f);
    got.insert(got.end(), b.begin(), b.end());
    got.insert(got.end(), 700, 0.0f);
    ToneCheck c = checkTone(got, 440, peak, rate);
    EXPECT_TRUE(c.exact);
    EXPECT_EQ(c.firstFrame, 1000);
    EXPECT_EQ(c.dropouts, 1);
    EXPECT_EQ(c.resumes, std::vector<std::int64_t>{4512});
    // Zero crossings of the tone itself are compared, not counted as dropouts.
    EXPECT_GE(c.comparedFrames, 4990);

    got[1000 + 1500] = std::nextafter(got[1000 + 1500], 1.0f);
    c = checkTone(got, 440, peak, rate);
    EXPECT_FALSE(c.exact);
    EXPECT_EQ(c.mismatchFrame, 2500);

    // Another frequency or level is not the tone.
    EXPECT_FALSE(checkTone(tone(880, peak, rate, 0, 4000), 440, peak, rate).exact);
    EXPECT_FALSE(checkTone(tone(440, 0.25, rate, 0, 4000), 440, peak, rate).exact);
    EXPECT_FALSE(checkTone(std::vector<float>(4000, 0.0f), 440, peak, rate).received);
}

TEST(CliTone, SamplesDroppedAfterABurstAreASkipNotADifference) {
    const double rate = 48000, peak = 0.5;
    std::vector<float> got = tone(1000, peak, rate, 0, 2000);
    const std::vector<float> later = tone(1000, peak, rate, 2000 + 517, 2000);
    got.insert(got.end(), later.begin(), later.end());
    ToneCheck c = checkTone(got, 1000, peak, rate);
    EXPECT_TRUE(c.exact);
    EXPECT_EQ(c.skips, 1);
    EXPECT_EQ(c.resumes, std::vector<std::int64_t>{2000});
    EXPECT_EQ(c.comparedFrames, 3999);  // the first sample, sin 0, is silent

    // A damaged sample right at the jump is still a difference.
    got[2000] = -got[2000] + 0.25f;
    EXPECT_FALSE(checkTone(got, 1000, peak, rate).exact);
}

TEST(CliTone, MeasuresFrequencyAndLevel) {
    const ToneMeasure m = measureTone(tone(1000, 0.5, 44100, 0, 44100), 44100);
    ASSERT_TRUE(m.measured);
    EXPECT_NEAR(m.frequency, 1000, 0.05);
    EXPECT_NEAR(m.levelDb, -6.02, 0.05);

    // Whole silent blocks where the receiver ran short change neither figure.
    std::vector<float> gappy = tone(1000, 0.5, 44100, 0, 44100);
    for (int gap = 0; gap < 6; ++gap)
        std::fill(gappy.begin() + 5000 + gap * 6000, gappy.begin() + 5000 + gap * 6000 + 1024, 0.0f);
    const ToneMeasure g = measureTone(gappy, 44100);
    ASSERT_TRUE(g.measured);
    EXPECT_NEAR(g.frequency, 1000, 0.05);
    EXPECT_NEAR(g.levelDb, -6.02, 0.05);
}

TEST(CliClicks, LatencyIsThePhaseAfterTheSendersTick) {
    const double rate = 48000;
    std::vector<float> got(3 * 48000, 0.0f);
    // Output frame 0 at 0.25 s past a tick; clicks heard 40 ms after each tick.
    const std::int64_t start = 1'000'000'000LL * 1000 + 250'000'000LL;
    for (int k = 1; k <= 2; ++k) got[std::size_t((k - 0.25 + 0.040) * rate)] = 0.5f;
    const std::vector<std::int64_t> clicks = findClicks(got, rate);
    ASSERT_EQ(clicks.size(), 2u);
    const Latency l = clickLatency(clicks, start, rate, 1.0);
    EXPECT_EQ(l.clicks, 2);
    EXPECT_NEAR(l.meanMs, 40.0, 0.05);
    EXPECT_NEAR(l.maxMs - l.minMs, 0.0, 0.05);
}

TEST(CliMidi, ListParsingAndBlockPositions) {
    std::vector<MidiNote> notes;
    std::string error;
    ASSERT_TRUE(parseMidiList("1.0:off:60, 0.5:on:60:90 0.5:cc:7:127", &notes, &error)) << error;
    ASSERT_EQ(notes.size(), 3u);
    // Sorted by time, equal times in the given order.
    EXPECT_EQ(notes[0].bytes[0], 0x90);
    EXPECT_EQ(notes[0].bytes[2], 90);
    EXPECT_EQ(notes[1].bytes[0], 0xB0);
    EXPECT_EQ(notes[2].bytes[0], 0x80);
    // 0.5 s at 48 kHz is frame 24000: block 46, offset 448 with 512-frame blocks.
    const BlockPosition p = positionOf(notes[0], 48000, 512);
    EXPECT_EQ(p.block, 46);
    EXPECT_EQ(p.deltaFrames, 448);

    for (const char* bad : {"1:on", "x:on:60", "-1:on:60", "1:on:128", "1:on:60:200", "1:pc:3",
                            "1:cc:7", "1:on:60:1:2", "1:on:6.5"})
        EXPECT_FALSE(parseMidiList(bad, &notes, &error)) << bad;
}

TEST(CliMidi, CheckWantsOrderBytesAndOffsets) {
    std::vector<MidiNote> sent;
    std::string error;
    ASSERT_TRUE(parseMidiList("0.5:on:60,1:off:60", &sent, &error));
    std::vector<ReceivedEvent> received{{93, 448, {0x90, 60, 100}}, {140, 384, {0x80, 60, 0}}};
    MidiCheck c = checkMidi(sent, received, 48000, 512);
    EXPECT_EQ(c.arrived, 2);
    EXPECT_EQ(c.rightOffset, 2);

    received[1].deltaFrames = 383;
    c = checkMidi(sent, received, 48000, 512);
    EXPECT_EQ(c.rightOffset, 1);
    EXPECT_NE(c.firstProblem.find("383"), std::string::npos);

    // An event whose audio a dropout took comes at 0 where the audio goes on;
    // at 0 in any other block it is still wrong.
    received[1].deltaFrames = 0;
    c = checkMidi(sent, received, 48000, 512, {141 * 512 + 3});
    EXPECT_EQ(c.rightOffset + c.afterGap, 1);
    c = checkMidi(sent, received, 48000, 512, {140 * 512 + 3});
    EXPECT_EQ(c.rightOffset, 1);
    EXPECT_EQ(c.afterGap, 1);

    // Out of order: the note-on after the note-off does not count.
    std::swap(received[0], received[1]);
    c = checkMidi(sent, received, 48000, 512);
    EXPECT_EQ(c.arrived, 1);
}

TEST(CliOptions, CommandLine) {
    Options o;
    std::string error;
    ASSERT_EQ(parse({"x.so", "--send", "broadcast", "--id", "studio", "--channels", "1", "--tone", "440"},
                    &o, &error),
              ParseResult::run)
        << error;
    EXPECT_EQ(o.destination, "*");
    EXPECT_EQ(o.identifier, "studio");
    EXPECT_EQ(o.channels, 1);

    Options h;
    EXPECT_EQ(parse({"--help"}, &h, &error), ParseResult::help);
    EXPECT_NE(std::string(helpText()).find("--expect-tone"), std::string::npos);

    const std::vector<std::vector<std::string>> bad{
        {"x.so"},                                     // no mode
        {"--receive"},                                // no plug-in
        {"x.so", "--send"},                           // no destination
        {"x.so", "--receive", "--send", "*"},         // both modes
        {"x.so", "--receive", "--id", std::string(32, 'a')},
        {"x.so", "--send", std::string(128, '1')},
        {"x.so", "--receive", "--channels", "65"},
        {"x.so", "--receive", "--block", "0"},
        {"x.so", "--receive", "--rate", "44.1k"},
        {"x.so", "--receive", "--frobnicate"},
        {"x.so", "y.so", "--receive"},
        {"x.so", "--send", "*", "--input", "a.wav", "--tone", "440"},
    };
    for (const auto& args : bad) {
        Options b;
        EXPECT_EQ(parse(args, &b, &error), ParseResult::error) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

namespace {

// The watch fed in blocks of 512, as the host does.
larkwire::cli::StreamWatch watchOf(const std::vector<float>& tone, double hz) {
    larkwire::cli::WatchSettings s;
    s.toneHz = hz;
    s.peak = 0.5;
    larkwire::cli::StreamWatch w(s);
    for (std::size_t at = 0; at < tone.size(); at += 512) {
        const float* channel = tone.data() + at;
        w.add(&channel, 1, int(std::min<std::size_t>(512, tone.size() - at)));
    }
    return w;
}

}  // namespace

// Silence before the start is not an underrun; a gap after it is, and the
// tone breaking off into it is not a discontinuity; a dropped sample is one,
// and ends the bit-exact run; the tone's frequency gives the drift.
TEST(StreamWatch, CountsGapsAndJumpsApartAndMeasuresTheTone) {
    using larkwire::cli::toneSample;
    std::vector<float> clean(2000, 0.0f);
    for (int n = 0; n < 96000; ++n) clean.push_back(toneSample(1000, 0.5, 48000, n));
    std::vector<float> gapped = clean;
    std::fill(gapped.begin() + 30000, gapped.begin() + 30512, 0.0f);
    const auto a = watchOf(gapped, 1000);
    EXPECT_EQ(a.startFrame(), 2000 + 1);  // sample 0 of the sine is 0
    EXPECT_EQ(a.underruns(), 1);
    EXPECT_EQ(a.discontinuities(), 0);
    EXPECT_TRUE(a.bitExact());
    EXPECT_NEAR(a.toneDriftPpm(), 0, 2);

    std::vector<float> skipped = clean;
    skipped.erase(skipped.begin() + 50000);
    const auto b = watchOf(skipped, 1000);
    EXPECT_EQ(b.underruns(), 0);
    EXPECT_GE(b.discontinuities(), 1);
    EXPECT_FALSE(b.bitExact());

    // A sender 1000 ppm fast, followed by the receiver: the tone comes out
    // 1000 ppm high, smooth, not sample for sample.
    std::vector<float> fast;
    for (int n = 0; n < 96000; ++n) fast.push_back(float(0.5 * std::sin(2 * 3.14159265358979 * 1001.0 * n / 48000)));
    const auto c = watchOf(fast, 1000);
    EXPECT_EQ(c.discontinuities(), 0);
    EXPECT_FALSE(c.bitExact());
    EXPECT_NEAR(c.toneDriftPpm(), 1000, 2);
}
