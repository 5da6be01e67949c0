#pragma once
// The echo service's side of norvane-echo, the echo helper program
// (platform/icmp_helper_protocol.h). A process that may open no ICMP socket of its own starts
// the helper when it first needs it and hands it its echoes. A helper serves one echo at a
// time and is kept for the next; echoes sent from several threads at once get a helper each,
// each with its own raw socket, so that every reply reaches the echo it answers.

#include <cstdint>
#include <span>
#include <string>

#include "platform/icmp_helper_protocol.h"

namespace platform {

// The helper program started from now on; by default norvane-echo beside the program's own
// real path. Idle helpers are ended; one serving an echo ends after it.
void SetEchoHelperPath(std::string path);

// Whether a helper runs, or could be started and opened its raw socket.
bool EchoHelperAvailable();

// One echo through a helper, with the contract of EchoOnSocket (platform/icmp_echo.h); a
// general failure when no helper answers. The time-out is bounded by the helper's.
std::uint32_t EchoThroughHelper(const HelperRequest& request, std::span<std::uint8_t> reply);

}  // namespace platform
