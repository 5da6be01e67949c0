#pragma once
// Stand-in for Winsock 1.1's blocking hook. A blocking Winsock call kept the window's messages
// flowing while it waited, so the window repainted, but the caller still got its answer in
// line. Linux's name service and echo calls block the calling thread outright, so here the
// call runs on a worker thread while the user-interface thread waits in a local event loop:
// paints, timers and socket events go on; user input (keys, mouse) is held back, with a busy
// cursor showing, and delivered in its order once the command that waited has returned.
//
//     const std::optional<std::int32_t> result =
//         platform::RunBlocking([name] { return SomeBlockingCall(name); });
//
// The wait can be ended early, as WSACancelBlockingCall ends a blocking call: Escape ends it,
// and so does a close of the window, which then closes as soon as the command has returned
// (the input held until then is dropped). The call then fails at once with WSAEINTR; the
// worker runs on to the end of its call and its late answer is discarded. So the worker must
// own everything it touches: `call` is moved to it, and must hold copies of its inputs
// (capture by value), never references into the caller's frame.
//
// Called off the user-interface thread, or without a Qt application, the call simply runs
// in place.

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

// A call for the worker. The waiter and the worker share it, so it lives as long as either
// needs it.
class BlockingCall {
public:
    virtual ~BlockingCall() = default;
    virtual void Run() = 0;
};

// Runs `call` off the user-interface thread and waits in the way told above. True once it has
// returned (an exception it threw is rethrown here); false when the wait was ended first,
// with WSAEINTR as the last socket error.
bool RunBlockingWork(const std::shared_ptr<BlockingCall>& call);

// Ends every wait in progress: each RunBlockingWork that waits returns false at once.
void CancelBlockingCall();

// The call's result, or nothing when the wait was ended first.
template <typename Call>
auto RunBlocking(Call call) -> std::optional<std::invoke_result_t<Call&>> {
    using Result = std::invoke_result_t<Call&>;
    struct Work final : BlockingCall {
        explicit Work(Call&& call) : call(std::move(call)) {}
        void Run() override { result.emplace(call()); }
        Call call;
        std::optional<Result> result;
    };
    const auto work = std::make_shared<Work>(std::move(call));
    if (!RunBlockingWork(work)) {
        return std::nullopt;
    }
    return std::move(work->result);
}

}  // namespace platform
