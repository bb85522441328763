// larkwire-monitor: shows the Larkwire streams that reach this computer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/local_addresses.h"
#include "platform/udp.h"
#include "stream/packet_format.h"
#include "tools/monitor/report.h"
#include "tools/monitor/stream_table.h"
#include "tools/monitor/terminal.h"

using namespace larkwire;

namespace {

const char* kUsage = R"(larkwire-monitor: shows the Larkwire streams that reach this computer.

usage: larkwire-monitor [--once] [--seconds N]

Listens on UDP port 58710 and lists, once a second, each stream seen: its
identifier, the sender's address, channels and sample rate, datagrams, audio
frames and MIDI events per second, the time since its last datagram, and its
drift: audio frames received per second of this computer's clock against the
announced rate, in ppm (+ when the sender's clock runs fast), fitted by least
squares over the whole time the stream has been seen (shown after 10 s; a
2 s pause or a new rate starts it again). The drift is the sender's clock
against this computer's, so it is only as good as this computer's clock.
Malformed datagrams are counted per sending address.

  --once        listen for a while, print one table and exit (for scripts)
  --seconds N   listening time: for --once (default 2), otherwise stop after N
  --help        this text

The port can have one receiver per computer: while the monitor runs, a
Larkwire plug-in on this computer cannot receive. Run it on a computer of the
network that is not receiving the stream.

Exit status: 0 success, 1 the socket failed, 2 bad command line, 3 the port
is taken.
)";

constexpr const char* kPortTaken =
    "larkwire-monitor: UDP port 58710 is already taken on this computer: a host with\n"
    "a Larkwire plug-in (or another monitor) is already receiving here. The monitor\n"
    "never shares the port, so that it takes no datagrams from a plug-in. Run it on\n"
    "another computer of the network.\n";

constexpr const char* kListening =
    "Listening on UDP port 58710. While the monitor runs, a Larkwire plug-in on this\n"
    "computer cannot receive (nor send to broadcast).\n";

struct Options {
    bool once = false;
    double seconds = -1;  // unset
};

bool parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--once") == 0) {
            options->once = true;
        } else if (std::strcmp(a, "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            options->seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != 0 || !(options->seconds > 0) ||
                options->seconds > 86400.0 * 365) {
                std::fprintf(stderr, "larkwire-monitor: --seconds needs a positive number\n");
                return false;
            }
        } else {
            std::fprintf(stderr, "larkwire-monitor: unknown option %s\n\n%s", a, kUsage);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    Options options;
    if (!parse(argc, argv, &options)) return 2;
    if (options.once && options.seconds < 0) options.seconds = 2;

    if (platform::startSockets() != 0) {
        std::fprintf(stderr, "larkwire-monitor: the network could not be started\n");
        return 1;
    }
    const platform::SocketHandle socket = platform::openDatagramSocket();
    if (socket == platform::kInvalidSocket) {
        std::fprintf(stderr, "larkwire-monitor: no UDP socket could be made\n");
        return 1;
    }
    // The ordinary bind, without address reuse: when a plug-in holds the port,
    // this fails instead of splitting its datagrams with it.
    platform::Ipv4SocketAddress any{};
    any.family = platform::kAddressFamilyIpv4;
    any.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
    if (platform::bindSocket(socket, any) != 0) {
        std::fputs(kPortTaken, stderr);
        platform::shutdownAndClose(socket);
        return 3;
    }

    std::uint32_t own[64];
    int ownCount = platform::readLocalAddresses(own, 64);
    if (ownCount < 0) ownCount = 0;

    const bool redraw = !options.once && monitor::prepareScreenRedraw();
    const std::int64_t startMs = platform::monotonicMilliseconds();
    const std::int64_t stopMs =
        options.seconds > 0 ? startMs + std::int64_t(options.seconds * 1000.0) : -1;
    monitor::StreamTable table(startMs);
    std::int64_t nextRefreshMs = startMs + 1000;
    static std::uint8_t buffer[65536];
    if (!options.once) {
        std::fputs(kListening, stdout);
        std::fflush(stdout);
    }

    for (;;) {
        std::int64_t now = platform::monotonicMilliseconds();
        const bool stopping = stopMs >= 0 && now >= stopMs;
        if (!options.once && (now >= nextRefreshMs || stopping)) {
            if (redraw) std::fputs("\x1b[H\x1b[2J", stdout);
            if (redraw) std::fputs(kListening, stdout);
            std::fputs(monitor::formatReport(table, now, own, ownCount).c_str(), stdout);
            if (!redraw) std::fputs("\n", stdout);
            std::fflush(stdout);
            table.beginWindow(now);
            nextRefreshMs += 1000;
            if (nextRefreshMs <= now) nextRefreshMs = now + 1000;
        }
        if (stopping) break;

        std::int64_t waitMs = options.once ? stopMs - now : nextRefreshMs - now;
        if (stopMs >= 0 && stopMs - now < waitMs) waitMs = stopMs - now;
        if (waitMs < 0) waitMs = 0;
        bool ready = false;
        if (platform::waitReadable(&socket, 1, int(waitMs), &ready) == 0 || !ready) continue;
        int length = int(sizeof buffer);
        platform::Ipv4SocketAddress from{};
        if (platform::receiveDatagram(socket, buffer, &length, false, &from) != 0) {
            platform::sleepMilliseconds(10);  // a lasting socket error must not spin
            continue;
        }
        table.record(buffer, length, from.addressNetworkOrder,
                     platform::networkToHost16(from.portNetworkOrder),
                     platform::monotonicMilliseconds());
    }

    if (options.once) {
        std::fputs(monitor::formatReport(table, platform::monotonicMilliseconds(), own, ownCount)
                       .c_str(),
                   stdout);
        std::fflush(stdout);
    }
    platform::shutdownAndClose(socket);
    return 0;
}
