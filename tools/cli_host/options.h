// The command line of larkwire-host.
#pragma once

#include <string>
#include <vector>

#include "tools/cli_host/signals.h"

namespace larkwire::cli {

struct Options {
    std::string plugin;
    enum class Mode { unset, send, receive } mode = Mode::unset;
    std::string destination;
    bool haveIdentifier = false;
    std::string identifier;
    int channels = -1;  // -1: every channel of the plug-in
    bool disabled = false;

    double seconds = 5;
    bool haveSeconds = false;
    double rate = 48000;
    bool haveRate = false;
    int block = 512;
    double clockPpm = 0;  // this host's audio clock runs this much fast (+) or slow (-)

    double toneHz = 0;  // 0: no tone
    bool clicks = false;
    double clickPeriod = 1.0;
    double levelDb = -6.0;
    std::string inputFile;
    std::vector<MidiNote> midi;
    std::string outputFile;

    double expectToneHz = 0;
    bool expectClicks = false;
    bool haveExpectMidi = false;
    std::vector<MidiNote> expectMidi;
    bool expectNothing = false;
    bool quiet = false;
    double waitSeconds = 0;  // receive: time allowed for the stream to start

    // The plug-in's editor in a window of the host, on $DISPLAY.
    bool editor = false;
    int editorCycles = 1;       // opens and closes while the audio runs
    bool editorIdle = true;     // false: the host never calls effEditIdle
    int editorDpi = 0;          // sets Xft.dpi on the display first
    double editorLinger = 0;    // seconds the editor stays open after the audio
};

enum class ParseResult { run, help, error };

// On error, *error says what is wrong with the command line.
ParseResult parseOptions(int argc, char** argv, Options* options, std::string* error);
const char* helpText();

}  // namespace larkwire::cli
