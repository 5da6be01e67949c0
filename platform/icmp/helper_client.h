#pragma once
// The echo service's side of norvane-echo, the echo helper program
// (platform/icmp/helper_protocol.h). A process that may open no ICMP socket of its own starts
// the helper when it first needs it and hands it its echoes. A helper serves one echo at a
// time and is kept for the next; echoes sent from several threads at once get a helper each,
// each with its own raw socket, so that every reply reaches the echo it answers.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/icmp/helper_protocol.h"

namespace platform {

// The helper program started from now on; by default norvane-echo beside the program's own
// real path. Idle helpers are ended; one serving an echo ends after it.
void SetEchoHelperPath(std::string path);

// Whether a helper runs, or could be started and opened its raw socket.
bool EchoHelperAvailable();

// A helper process just started, before its greeting: its id and our end of its socket.
struct StartedHelper {
    int pid = -1;
    int fd = -1;
};
// Starts the helper program at `path` with an empty environment and its end of a new socket
// pair as standard input; pid -1 when it could not be started. Descriptors that are not
// close-on-exec go with it (the helper closes them).
StartedHelper SpawnEchoHelper(const std::string& path);

// One echo through a helper, in the steps of SocketEcho (platform/icmp/echo.h): handed to a
// helper when made, its answer taken as it comes. A general failure when no helper answers.
// The time-out is bounded by the helper's.
class HelperEcho {
public:
    explicit HelperEcho(const HelperRequest& request);
    ~HelperEcho();
    HelperEcho(const HelperEcho&) = delete;
    HelperEcho& operator=(const HelperEcho&) = delete;

    // Takes the answer if it has come, without waiting; true once the echo is over.
    bool TakeArrived();
    // Waits until the echo is over.
    void Wait();
    // Fills `reply` with the outcome of an echo that is over; 1 for an echo reply.
    std::uint32_t Report(std::span<std::uint8_t> reply) const;

private:
    void Settle(long received);

    int fd_ = -1;  // the helper's socket, while the echo is with it
    int pid_ = -1;
    int waitMs_ = 0;
    bool over_ = false;
    bool answered_ = false;
    std::vector<std::uint8_t> answer_;
};

}  // namespace platform
