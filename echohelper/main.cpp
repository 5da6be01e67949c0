// norvane-echo sends ICMP echo requests on a raw socket for Norvane's window, whose process
// may open no ICMP socket of its own. It is the one installed file with cap_net_raw and uses
// it once, as ping does: it opens its raw socket, then gives up every capability before it
// reads a byte. It links only the C and C++ runtimes, reads no environment and no file, holds
// no descriptor it did not open besides standard input, output and error, and does one thing:
// for each request on standard input (a SOCK_SEQPACKET socket, platform/icmp/helper_protocol.h)
// it sends one echo request and answers with the reply buffer. The packet is built here and
// the socket is IPPROTO_ICMP without IP_HDRINCL, so nothing but echo requests leaves it. It
// ends when the other end of its socket closes.

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/icmp/echo.h"
#include "platform/icmp/helper_protocol.h"
#include "platform/icmp/reply.h"

namespace {

using namespace platform;

void CloseInheritedDescriptors() {
    if (::close_range(3, ~0U, 0) != 0) {
        for (long fd = 3, last = ::sysconf(_SC_OPEN_MAX); fd < last; ++fd) {
            ::close(static_cast<int>(fd));
        }
    }
}

// Back to the caller's own user and group if started set-user-id, no capability left, and
// none to be had again by exec.
bool DropPrivilege() {
    const gid_t group = ::getgid();
    const uid_t user = ::getuid();
    if ((::getegid() != group && ::setresgid(group, group, group) != 0) ||
        (::geteuid() != user && ::setresuid(user, user, user) != 0)) {
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
    return ::syscall(SYS_capset, &header, none) == 0 &&
           ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool Send(const std::uint8_t* bytes, std::size_t size) {
    return ::send(STDIN_FILENO, bytes, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

// The answer to one request message, left in `reply`; its size.
std::size_t Answer(std::span<const std::uint8_t> message, const IcmpSocket& socket,
                   std::span<std::uint8_t> reply) {
    const auto request = DecodeHelperRequest(message);
    if (!request) {
        FailEcho(reply, IP_BAD_REQ);
    } else if (IsRefusedDestination(request->destination)) {
        FailEcho(reply, IP_BAD_DESTINATION);
    } else {
        SetRequestOptions(socket, request->ttl, request->tos);
        EchoOnSocket(socket, request->destination, request->data,
                     std::min(request->timeoutMs, kHelperMaxTimeoutMs),
                     reply.first(kEchoReplyFixedSize + request->data.size()));
    }
    return kEchoReplyFixedSize + static_cast<std::size_t>(ReadFixedPart(reply.data()).DataSize);
}

}  // namespace

int main() {
    CloseInheritedDescriptors();
    ::clearenv();
    const IcmpSocket socket = OpenRawIcmpSocket();
    const int openError = socket.fd < 0 ? errno : 0;
    if (!DropPrivilege()) {
        std::fputs("norvane-echo: cannot give up its privilege\n", stderr);
        return 1;
    }
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(STDIN_FILENO, SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
        type != SOCK_SEQPACKET) {
        std::fprintf(stderr, "norvane-echo: standard input: %s; it sends echoes for Norvane only\n",
                     std::strerror(type != 0 ? EPROTOTYPE : errno));
        return 2;
    }
    const std::uint8_t greeting[4] = {
        static_cast<std::uint8_t>(openError), static_cast<std::uint8_t>(openError >> 8),
        static_cast<std::uint8_t>(openError >> 16), static_cast<std::uint8_t>(openError >> 24)};
    if (!Send(greeting, sizeof greeting) || socket.fd < 0) {
        return 1;
    }

    // One byte more than the largest request, so that a larger one shows as truncated.
    std::vector<std::uint8_t> message(kHelperMaxRequestSize + 1);
    std::vector<std::uint8_t> reply(kEchoReplyFixedSize + kHelperMaxRequestData);
    for (;;) {
        iovec part{message.data(), message.size()};
        msghdr header{};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        const ssize_t received = ::recvmsg(STDIN_FILENO, &header, 0);
        if (received == 0) {
            return 0;  // Norvane has closed its end
        }
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 1;
        }
        const std::span<const std::uint8_t> request(
            message.data(), (header.msg_flags & MSG_TRUNC) != 0 ? 0 : std::size_t(received));
        if (!Send(reply.data(), Answer(request, socket, reply))) {
            return 1;
        }
    }
}
