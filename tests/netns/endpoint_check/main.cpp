// endpoint_check: the shared network endpoint between two computers (two
// network namespaces here), through real sockets. See roles.h; driven by
// tests/netns/endpoint.sh.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/netns/endpoint_check/roles.h"

using namespace larkwire::endpoint_check;

namespace {

int usage() {
    std::fputs(
        "usage: endpoint_check send [IDLE_SECONDS]\n"
        "       endpoint_check hold [IDLE_SECONDS]\n"
        "       endpoint_check receive OWN_ADDRESS PEER_ADDRESS [WAIT_SECONDS]\n"
        "       endpoint_check held PEER_ADDRESS [WAIT_SECONDS]\n"
        "       endpoint_check slow PEER_ADDRESS\n",
        stderr);
    return 2;
}

int seconds(int argc, char** argv, int at, int fallback) {
    return argc > at ? std::atoi(argv[at]) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const char* role = argv[1];
    if (std::strcmp(role, "send") == 0) return runSender(seconds(argc, argv, 2, 30));
    if (std::strcmp(role, "hold") == 0) return runHolder(seconds(argc, argv, 2, 30));
    if (std::strcmp(role, "receive") == 0 && argc >= 4)
        return runReceiver(argv[2], argv[3], seconds(argc, argv, 4, 10));
    if (std::strcmp(role, "held") == 0 && argc >= 3)
        return runHeldPort(argv[2], seconds(argc, argv, 3, 10));
    if (std::strcmp(role, "slow") == 0 && argc >= 3) return runSlowLink(argv[2]);
    return usage();
}
