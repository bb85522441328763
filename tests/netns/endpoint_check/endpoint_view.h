// Instances started as a host starts them, and a look into the endpoint's
// queue under its lock, for the receiving roles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/network_endpoint.h"
#include "shell/stream_effect.h"

namespace larkwire::endpoint_check {

struct InstanceDeleter {
    void operator()(StreamEffect* instance) const;
};
using Instance = std::unique_ptr<StreamEffect, InstanceDeleter>;

// [main] Created and given a sample rate, which counts it as a network user.
Instance startedInstance(const char* identifier, int sendMode, const char* destination);
// [main] Created only: it never starts or stops the network.
Instance uncountedInstance();
// [main] One block of processReplacing.
void runBlock(StreamEffect& instance);

struct QueuedRecord {
    std::int32_t time;
    std::vector<std::uint8_t> bytes;
};

// [main] Each of these takes packetListLock; empty or 0 while the network is down.
std::vector<QueuedRecord> queuedRecords();
int queuedWithIdentifier(const std::string& identifier);
int spareCount();
void clearQueue();
// [main] Polls until the marker of tag is queued; false after waitSeconds.
bool waitForMarker(const std::string& tag, int waitSeconds);

// [main] The own-address table the network start collected, as text.
std::string ownAddressTable();

}  // namespace larkwire::endpoint_check
