#include "tools/cli_host/signals.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace larkwire::cli {

namespace {
constexpr double kTwoPi = 6.283185307179586476925286766559;

bool parseNumber(const std::string& text, double* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(value)) return false;
    *out = value;
    return true;
}

bool parseDataByte(const std::string& text, std::uint8_t* out) {
    double value;
    if (!parseNumber(text, &value) || value < 0 || value > 127 || value != std::floor(value))
        return false;
    *out = std::uint8_t(value);
    return true;
}

std::vector<std::string> split(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    std::string current;
    bool any = false;
    for (char c : text) {
        if (std::string(separators).find(c) != std::string::npos) {
            parts.push_back(current);
            current.clear();
            any = true;
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty() || any) parts.push_back(current);
    return parts;
}
}  // namespace

double gainOfDecibels(double decibels) { return std::pow(10.0, decibels / 20.0); }

float toneSample(double frequency, double peak, double rate, std::int64_t n) {
    // The phase from n·f modulo the rate stays exact for whole frequencies.
    const double phase = std::fmod(double(n) * frequency, rate) / rate;
    double q = std::nearbyint(peak * std::sin(kTwoPi * phase) * 32768.0);
    q = std::clamp(q, -32768.0, 32767.0);
    return float(q / 32768.0);
}

std::int64_t clickPeriodFrames(double periodSeconds, double rate) {
    const std::int64_t frames = std::llround(periodSeconds * rate);
    return frames < 1 ? 1 : frames;
}

float clickSample(double peak, std::int64_t periodFrames, std::int64_t n) {
    if (n % periodFrames != 0) return 0.0f;
    const double q = std::clamp(std::nearbyint(peak * 32768.0), 1.0, 32767.0);
    return float(q / 32768.0);
}

float clickSampleAt(double peak, double periodFrames, std::int64_t n) {
    if (!(periodFrames >= 1)) periodFrames = 1;
    const std::int64_t k = std::llround(double(n) / periodFrames);
    if (std::llround(double(k) * periodFrames) != n) return 0.0f;
    const double q = std::clamp(std::nearbyint(peak * 32768.0), 1.0, 32767.0);
    return float(q / 32768.0);
}

bool parseMidiList(const std::string& text, std::vector<MidiNote>* out, std::string* error) {
    out->clear();
    for (const std::string& item : split(text, ", \t\n")) {
        if (item.empty()) continue;
        const std::vector<std::string> f = split(item, ":");
        auto bad = [&](const std::string& why) {
            if (error != nullptr) *error = "MIDI item '" + item + "': " + why;
            return false;
        };
        if (f.size() < 3) return bad("expected TIME:KIND:NOTE[:VELOCITY]");
        MidiNote note;
        if (!parseNumber(f[0], &note.seconds) || note.seconds < 0)
            return bad("time must be a number of seconds, 0 or more");
        const std::string& kind = f[1];
        if (kind == "on" || kind == "off") {
            if (f.size() > 4) return bad("too many fields");
            if (!parseDataByte(f[2], &note.bytes[1])) return bad("note must be 0..127");
            note.bytes[2] = kind == "on" ? 100 : 0;
            if (f.size() == 4 && !parseDataByte(f[3], &note.bytes[2]))
                return bad("velocity must be 0..127");
            note.bytes[0] = kind == "on" ? 0x90 : 0x80;
        } else if (kind == "cc") {
            if (f.size() != 4) return bad("expected TIME:cc:NUMBER:VALUE");
            if (!parseDataByte(f[2], &note.bytes[1]) || !parseDataByte(f[3], &note.bytes[2]))
                return bad("controller number and value must be 0..127");
            note.bytes[0] = 0xB0;
        } else {
            return bad("kind must be on, off or cc");
        }
        out->push_back(note);
    }
    std::stable_sort(out->begin(), out->end(),
                     [](const MidiNote& a, const MidiNote& b) { return a.seconds < b.seconds; });
    return true;
}

BlockPosition positionOf(const MidiNote& note, double rate, int blockFrames) {
    const std::int64_t frame = std::llround(note.seconds * rate);
    return {frame / blockFrames, std::int32_t(frame % blockFrames)};
}

}  // namespace larkwire::cli
