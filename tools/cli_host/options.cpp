#include "tools/cli_host/options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace larkwire::cli {

const char* helpText() {
    return R"(larkwire-host: a command-line VST 2 host for streaming audio and MIDI with
the Larkwire plug-in between computers, without a DAW.

usage: larkwire-host PLUGIN (--send DEST | --receive) [options]

PLUGIN is the plug-in file (larkwire.so, larkwire.dll). Its channel count
comes from its file name: larkwire8.dll has 8 channels, larkwire.dll has 2.
Both computers use UDP port 58710; a stream is never received from the
computer's own addresses, so sender and receiver run on different computers.

Mode and plug-in settings (handed to the plug-in as its saved state):
  --send DEST       send; DEST is a dotted IPv4 address (192.168.1.20), or
                    "*" or "broadcast" for every computer on the local network
  --receive         receive the stream with the same identifier
  --id NAME         stream identifier, up to 31 characters, case-sensitive
                    (default: the plug-in's own default)
  --channels N      channels to send (0..64; default all). In receive mode:
                    the channels --expect-tone checks
  --disabled        load the plug-in switched off (it neither sends nor receives)

Timing:
  --seconds S       run for S seconds in real time (default 5, or the length
                    of --input); 0 runs until Ctrl-C
  --rate R          sample rate in Hz (default 48000, or that of --input)
  --block N         frames per processing block (default 512)
  --clock-ppm P     this host's audio clock runs P ppm fast (P > 0) or slow
                    (P < 0), -10000..10000: its processing calls come that much
                    more or less often than the rate says, while it still
                    announces the nominal --rate to the plug-in, as a sound
                    card whose crystal is off does. Clicks still leave on the
                    shared wall clock (see --clicks)

Input (default silence):
  --tone HZ         sine test tone; channel c carries HZ x (c+1)
  --level DB        peak level of the tone and clicks in dBFS (default -6)
  --clicks          click train: one sample at --level every --click-period,
                    started on a whole multiple of the period of the system
                    clock, so a receiver can measure latency. With --tone, the
                    clicks go on the last sent channel, the tone on the others.
                    With --clock-ppm, each click goes into the frame this host
                    processes at that moment of the wall clock
  --click-period S  seconds between clicks (default 1)
  --input FILE      play a WAV file (PCM 16/24/32-bit or 32-bit float); a mono
                    file feeds every channel
  --midi LIST       MIDI to send, items TIME:on:NOTE[:VEL], TIME:off:NOTE[:VEL]
                    or TIME:cc:NUMBER:VALUE, TIME in seconds, separated by
                    commas, e.g. "0.5:on:60:100,1.0:off:60" (MIDI channel 1)

Output:
  --output FILE     write the plug-in's output to FILE (WAV, 32-bit float)
  --quiet           do not list each MIDI event
  --wait S          receive mode: --seconds count from the first audio or
                    MIDI that arrives, waiting up to S seconds for it

Editor (X11 builds; the state is printed again once the editor closed):
  --editor          open the plug-in's editor in a window of this host; it
                    closes at the end or on Ctrl-C
  --editor-cycles N open and close the editor N times while the audio runs
  --editor-no-idle  never call the editor's idle function, as some hosts do
  --editor-dpi N    set the display's Xft.dpi to N before opening it
  --editor-linger S keep the editor open S seconds after the audio ended

Checks (receive mode; the exit status is 4 when one fails):
  --expect-tone HZ  the output after the pre-buffer must equal the sender's
                    --tone HZ --level DB sample for sample
  --expect-clicks   measure the latency of the sender's --clicks (same
                    --click-period); the clocks of both computers must agree
  --expect-midi LIST  the sender's --midi LIST must arrive, in order, at the
                    same offsets in the block (same --rate and --block)
  --expect-nothing  no audio and no MIDI may arrive

Stream report (receive mode, always printed; over the whole run, not only
the first two minutes the checks above keep):
  underruns         gaps of 64 or more exact zeros on channel 0 after the
                    start that the stream comes back from
  discontinuities   with --expect-tone: places after the start where the
                    tone breaks its own recurrence x[n] = 2cos(w)x[n-1] -
                    x[n-2] by more than 1 % of its peak (a jump in time or
                    phase); a resampled tone passes, a dropped sample does not.
                    Breaks into an underrun's silence are not counted
  tone bit-exact    with --expect-tone: every sample after the start equal
                    to the sender's, each run after a gap realigned
  drift             with --expect-tone: the tone's measured frequency against
                    the nominal one (the sender's clock against this host's,
                    as far as the receiver follows it), plus, with
                    --expect-clicks, the trend of the latency (what it does
                    not follow); in ppm, + when the sender runs fast
  latency           with --expect-clicks: each click's arrival against the
                    wall-clock multiple it left on, at the start (first 3
                    clicks), at the end (last 3), lowest and highest, in ms
                    and in blocks. Needs clocks set by NTP or one computer

Examples:
  on the computer with the sound:
    larkwire-host larkwire.so --send broadcast --id studio --input song.wav
  on the computer in the other room:
    larkwire-host larkwire.so --receive --id studio --seconds 0 --output got.wav
  a test tone with MIDI to one address:
    larkwire-host larkwire.dll --send 10.0.0.7 --tone 1000 --midi "1:on:60,2:off:60"

Exit status: 0 success, 1 the plug-in failed to load or run, 2 bad command
line, 4 a check failed.
)";
}

namespace {

bool number(const char* text, double* out) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value)) return false;
    *out = value;
    return true;
}

bool integer(const char* text, int* out) {
    double value;
    if (!number(text, &value) || value != std::floor(value) || std::fabs(value) > 1e9) return false;
    *out = int(value);
    return true;
}

}  // namespace

ParseResult parseOptions(int argc, char** argv, Options* o, std::string* error) {
    auto bad = [&](const std::string& text) {
        *error = text;
        return ParseResult::error;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needs = [&](const char* what) -> bool {
            if (value == nullptr) {
                *error = arg + " needs " + what;
                return false;
            }
            ++i;
            return true;
        };
        double d = 0;
        if (arg == "--help" || arg == "-h") return ParseResult::help;
        if (arg == "--send") {
            if (!needs("a destination")) return ParseResult::error;
            if (o->mode != Options::Mode::unset) return bad("give --send or --receive once");
            o->mode = Options::Mode::send;
            o->destination = std::string(value) == "broadcast" ? "*" : value;
            if (o->destination.empty()) return bad("--send needs a destination");
            if (o->destination.size() > 127) return bad("the destination is longer than 127 characters");
        } else if (arg == "--receive") {
            if (o->mode != Options::Mode::unset) return bad("give --send or --receive once");
            o->mode = Options::Mode::receive;
        } else if (arg == "--id") {
            if (!needs("a name")) return ParseResult::error;
            o->identifier = value;
            o->haveIdentifier = true;
            if (o->identifier.size() > 31) return bad("the identifier is longer than 31 characters");
        } else if (arg == "--channels") {
            if (!needs("a number")) return ParseResult::error;
            if (!integer(value, &o->channels) || o->channels < 0 || o->channels > 64)
                return bad("--channels must be 0..64");
        } else if (arg == "--disabled") {
            o->disabled = true;
        } else if (arg == "--seconds") {
            if (!needs("a number")) return ParseResult::error;
            if (!number(value, &o->seconds) || o->seconds < 0 || o->seconds > 1e7)
                return bad("--seconds must be 0 or more");
            o->haveSeconds = true;
        } else if (arg == "--rate") {
            if (!needs("a rate in Hz")) return ParseResult::error;
            if (!number(value, &o->rate) || o->rate < 1000 || o->rate > 768000)
                return bad("--rate must be 1000..768000");
            o->haveRate = true;
        } else if (arg == "--block") {
            if (!needs("a frame count")) return ParseResult::error;
            if (!integer(value, &o->block) || o->block < 1 || o->block > 65536)
                return bad("--block must be 1..65536");
        } else if (arg == "--clock-ppm") {
            if (!needs("a number of ppm")) return ParseResult::error;
            if (!number(value, &o->clockPpm) || std::fabs(o->clockPpm) > 10000)
                return bad("--clock-ppm must be -10000..10000");
        } else if (arg == "--tone" || arg == "--expect-tone") {
            if (!needs("a frequency in Hz")) return ParseResult::error;
            if (!number(value, &d) || d <= 0) return bad(arg + " needs a frequency above 0");
            (arg == "--tone" ? o->toneHz : o->expectToneHz) = d;
        } else if (arg == "--level") {
            if (!needs("a level in dB")) return ParseResult::error;
            if (!number(value, &o->levelDb) || o->levelDb > 0 || o->levelDb < -90)
                return bad("--level must be -90..0 dB");
        } else if (arg == "--clicks") {
            o->clicks = true;
        } else if (arg == "--click-period") {
            if (!needs("seconds")) return ParseResult::error;
            if (!number(value, &o->clickPeriod) || o->clickPeriod < 0.2 || o->clickPeriod > 60)
                return bad("--click-period must be 0.2..60 seconds");
        } else if (arg == "--input") {
            if (!needs("a WAV file")) return ParseResult::error;
            o->inputFile = value;
        } else if (arg == "--midi" || arg == "--expect-midi") {
            if (!needs("a list")) return ParseResult::error;
            if (!parseMidiList(value, arg == "--midi" ? &o->midi : &o->expectMidi, error))
                return ParseResult::error;
            if (arg == "--expect-midi") o->haveExpectMidi = true;
        } else if (arg == "--output") {
            if (!needs("a file name")) return ParseResult::error;
            o->outputFile = value;
        } else if (arg == "--expect-clicks") {
            o->expectClicks = true;
        } else if (arg == "--expect-nothing") {
            o->expectNothing = true;
        } else if (arg == "--wait") {
            if (!needs("seconds")) return ParseResult::error;
            if (!number(value, &o->waitSeconds) || o->waitSeconds < 0 || o->waitSeconds > 3600)
                return bad("--wait must be 0..3600 seconds");
        } else if (arg == "--editor") {
            o->editor = true;
        } else if (arg == "--editor-cycles") {
            if (!needs("a number")) return ParseResult::error;
            if (!integer(value, &o->editorCycles) || o->editorCycles < 1 || o->editorCycles > 100000)
                return bad("--editor-cycles must be 1..100000");
            o->editor = true;
        } else if (arg == "--editor-no-idle") {
            o->editorIdle = false;
            o->editor = true;
        } else if (arg == "--editor-dpi") {
            if (!needs("a number")) return ParseResult::error;
            if (!integer(value, &o->editorDpi) || o->editorDpi < 48 || o->editorDpi > 480)
                return bad("--editor-dpi must be 48..480");
            o->editor = true;
        } else if (arg == "--editor-linger") {
            if (!needs("seconds")) return ParseResult::error;
            if (!number(value, &o->editorLinger) || o->editorLinger < 0 || o->editorLinger > 3600)
                return bad("--editor-linger must be 0..3600 seconds");
            o->editor = true;
        } else if (arg == "--quiet") {
            o->quiet = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return bad("unknown option " + arg + " (see --help)");
        } else {
            if (!o->plugin.empty()) return bad("more than one plug-in file: " + arg);
            o->plugin = arg;
        }
    }
    if (o->plugin.empty()) return bad("no plug-in file given (see --help)");
    if (o->mode == Options::Mode::unset) return bad("give --send DEST or --receive");
    if (!o->inputFile.empty() && (o->toneHz > 0 || o->clicks))
        return bad("--input cannot be combined with --tone or --clicks");
    return ParseResult::run;
}

}  // namespace larkwire::cli
