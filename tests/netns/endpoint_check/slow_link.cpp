// A link far slower than the stream, with a queue deeper than the socket's
// send buffer: once the buffer is full a send must fail, not wait.
#include <cstdio>

#include "tests/netns/endpoint_check/endpoint_view.h"
#include "tests/netns/endpoint_check/report.h"
#include "tests/netns/endpoint_check/roles.h"

namespace larkwire::endpoint_check {

int runSlowLink(const char* peerAddress) {
    Report report;
    // Far more than the send buffer holds; a blocking socket never gets back.
    constexpr int kMaxBlocks = 200000;
    Instance sender = startedInstance("slow", 1, peerAddress);
    int blocks = 0;
    while (blocks < kMaxBlocks && sender->sendBackoff == 0) {
        runBlock(*sender);
        ++blocks;
    }
    report.check(sender->sendBackoff > 0, "the full send buffer failed a send after %d blocks", blocks);
    sender.reset();
    report.check(network::sharedSocket.load() == nullptr && network::startedInstanceCount() == 0,
                 "closing the instance stops the network cleanly");
    std::printf("%d check(s) failed\n", report.failures());
    return report.exitCode();
}

}  // namespace larkwire::endpoint_check
