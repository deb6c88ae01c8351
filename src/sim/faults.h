// The simulator's misbehaviour that needs more than an answer body: a connection cut without
// an answer, and the service's wording of a spent daily quota.
#pragma once

#include <string>

namespace velmora::sim {

// Shuts down the connection between 127.0.0.1:localPort and the client's peerPort, from inside
// its own handler. False when it is not found.
bool ShutdownOwnConnection(int localPort, int peerPort);

// The service's answer to a spent daily quota, made from its per-minute answer.
std::string DailyQuotaAnswer(std::string text);

}  // namespace velmora::sim
