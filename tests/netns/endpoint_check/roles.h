// The checker's roles; each returns the process exit code (0 when every
// check passed). Run on the main thread only.
#pragma once

namespace larkwire::endpoint_check {

// [main] The other computer: answers the receiver's commands with crafted
// datagrams and markers, counts the stream datagrams that reach its port and
// answers those of "echo:" streams. Ends on "done:ID", with 0 when some
// datagram of stream ID arrived, or after IDLE seconds without traffic.
int runSender(int idleSeconds);

// [main] Holds the stream port so that the endpoint cannot bind it, and
// reports every stream datagram that reaches it to whoever said "hello".
int runHolder(int idleSeconds);

// [main] Starts the endpoint as a host would and checks, through the real
// network thread, what it queues of the sender's datagrams, that it drops
// its own broadcast, expires unclaimed records, stops and starts again.
int runReceiver(const char* ownAddress, const char* peerAddress, int waitSeconds);

// [main] With the port held by another process: the instance still sends,
// to one address and to broadcast, the endpoint receives nothing, and the
// network stops cleanly.
int runHeldPort(const char* peerAddress, int waitSeconds);

// [main] Over a link far slower than the stream: the send buffer fills, and
// the instance backs off instead of waiting in its processing call.
int runSlowLink(const char* peerAddress);

}  // namespace larkwire::endpoint_check
