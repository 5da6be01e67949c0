#include "platform/icmp/helper_client.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/icmp/echo.h"
#include "platform/icmp/reply.h"

namespace platform {

namespace {

using Helper = StartedHelper;

// Helpers that wait for an echo. A few are kept; more would only hold raw sockets idle.
constexpr std::size_t kMostIdleHelpers = 4;
constexpr int kGreetingTimeoutMs = 2000;
constexpr int kAnswerGraceMs = 2000;

struct Helpers {
    std::mutex lock;
    std::string path;
    std::vector<Helper> idle;
};

// Never destroyed: an echo abandoned on a worker thread may still use it while the program
// exits.
Helpers& State() {
    static auto* helpers = new Helpers;
    return *helpers;
}

std::string DefaultPath() {
    char exe[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe);
    if (length <= 0 || length == sizeof exe) {
        return {};
    }
    const std::string program(exe, static_cast<std::size_t>(length));
    return program.substr(0, program.rfind('/') + 1) + "norvane-echo";
}

// One message from the helper within `timeoutMs` (0: only if it is there): its size, 0 when
// the helper has ended, -1 on a failure; nothing when none has come in time.
std::optional<ssize_t> Receive(int fd, std::span<std::uint8_t> into, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) {
        return std::nullopt;
    }
    return ready > 0 ? ::recv(fd, into.data(), into.size(), MSG_DONTWAIT) : -1;
}

// Ends the helper at once, whatever it was doing.
void Stop(const Helper& helper) {
    ::close(helper.fd);
    ::kill(helper.pid, SIGKILL);
    while (::waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// A helper started with an empty environment, its socket as standard input, that has opened
// its raw socket; pid -1 when there is none.
Helper Start(const std::string& path) {
    const Helper helper = SpawnEchoHelper(path);
    if (helper.pid == -1) {
        return {};
    }
    std::uint8_t greeting[4];
    if (Receive(helper.fd, greeting, kGreetingTimeoutMs) != ssize_t{sizeof greeting} ||
        std::ranges::any_of(greeting, [](auto b) { return b; })) {
        Stop(helper);
        return {};
    }
    return helper;
}

// An idle helper, or a new one; `reused` tells which.
Helper Take(bool& reused) {
    Helpers& state = State();
    std::string path;
    {
        const std::lock_guard guard(state.lock);
        reused = !state.idle.empty();
        if (reused) {
            const Helper helper = state.idle.back();
            state.idle.pop_back();
            return helper;
        }
        if (state.path.empty()) {
            state.path = DefaultPath();
        }
        path = state.path;
    }
    return Start(path);
}

void GiveBack(const Helper& helper) {
    Helpers& state = State();
    {
        const std::lock_guard guard(state.lock);
        if (state.idle.size() < kMostIdleHelpers) {
            state.idle.push_back(helper);
            return;
        }
    }
    Stop(helper);
}

}  // namespace

StartedHelper SpawnEchoHelper(const std::string& path) {
    int pair[2];
    if (path.empty() || ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
    char name[] = "norvane-echo";
    char* arguments[] = {name, nullptr};
    char* environment[] = {nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, arguments, environment);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pair[1]);
    if (error != 0) {
        ::close(pair[0]);
        return {};
    }
    return {pid, pair[0]};
}

void SetEchoHelperPath(std::string path) {
    Helpers& state = State();
    std::vector<Helper> idle;
    {
        const std::lock_guard guard(state.lock);
        state.path = std::move(path);
        idle.swap(state.idle);
    }
    std::ranges::for_each(idle, Stop);
}

bool EchoHelperAvailable() {
    bool reused = false;
    const Helper helper = Take(reused);
    if (helper.fd < 0) {
        return false;
    }
    GiveBack(helper);
    return true;
}

HelperEcho::HelperEcho(const HelperRequest& request)
    : waitMs_(static_cast<int>(std::min(request.timeoutMs, kHelperMaxTimeoutMs)) + kAnswerGraceMs),
      // One byte more than the answer can hold, so that a longer one shows.
      answer_(kEchoReplyFixedSize + request.data.size() + 1) {
    const std::vector<std::uint8_t> message = EncodeHelperRequest(request);
    // A kept helper may have ended since its last echo; a new one is tried once.
    for (bool reused = true; reused;) {
        const Helper helper = Take(reused);
        if (helper.fd < 0) {
            break;
        }
        if (::send(helper.fd, message.data(), message.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(message.size())) {
            fd_ = helper.fd;
            pid_ = helper.pid;
            return;
        }
        Stop(helper);
    }
    over_ = true;
}

HelperEcho::~HelperEcho() {
    if (fd_ >= 0) {
        Stop({pid_, fd_});
    }
}

bool HelperEcho::TakeArrived() {
    if (!over_) {
        if (const auto received = Receive(fd_, answer_, 0)) {
            Settle(*received);
        }
    }
    return over_;
}

void HelperEcho::Wait() {
    if (!over_) {
        Settle(Receive(fd_, answer_, waitMs_).value_or(-1));
    }
}

// A helper that answered as it should serves the next echo; any other is ended.
void HelperEcho::Settle(long received) {
    over_ = true;
    if (received >= static_cast<long>(kEchoReplyFixedSize)) {
        const EchoReplyFixedPart part = ReadFixedPart(answer_.data());
        answered_ =
            part.DataSize >= 0 && kEchoReplyFixedSize + static_cast<std::size_t>(part.DataSize) ==
                                      static_cast<std::size_t>(received);
    }
    const Helper helper{pid_, fd_};
    fd_ = -1;
    answered_ ? GiveBack(helper) : Stop(helper);
}

std::uint32_t HelperEcho::Report(std::span<std::uint8_t> reply) const {
    if (!answered_) {
        return FailEcho(reply, IP_GENERAL_FAILURE);
    }
    const EchoReplyFixedPart part = ReadFixedPart(answer_.data());
    EchoOutcome outcome;
    outcome.status = part.Status;
    outcome.source = static_cast<std::uint32_t>(part.Address);
    outcome.ttl = part.Ttl;
    outcome.tos = part.Tos;
    outcome.flags = part.Flags;
    outcome.data =
        std::span(answer_).subspan(kEchoReplyFixedSize, static_cast<std::size_t>(part.DataSize));
    WriteReplyBuffer(reply, outcome, part.RoundTripTime);
    return outcome.status == IP_SUCCESS ? 1 : 0;
}

}  // namespace platform
