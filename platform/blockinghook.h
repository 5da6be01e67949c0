#pragma once
// Stand-in for Winsock 1.1's blocking hook. A blocking Winsock call kept the window's messages
// flowing while it waited, so the window repainted, but the caller still got its answer in
// line. Linux's name service and echo calls block the calling thread outright, so here the
// call runs on a thread of its own while the user-interface thread waits in a local event
// loop: paints, timers and socket events go on; user input (keys, mouse, close) is held back,
// with a busy cursor showing, and delivered in its order once the command that waited has
// returned.
//
//     const std::int32_t result = platform::RunBlocking([&] { return SomeBlockingCall(); });
//
// Called off the user-interface thread, or without a Qt application, the call simply runs
// in place.

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

// Runs `work` off the user-interface thread and waits in the way told above; returns once
// `work` has returned. Exceptions from `work` are rethrown here.
void RunBlockingWork(const std::function<void()>& work);

template <typename Call>
auto RunBlocking(Call&& call) -> std::invoke_result_t<Call&> {
    using Result = std::invoke_result_t<Call&>;
    if constexpr (std::is_void_v<Result>) {
        RunBlockingWork([&call] { call(); });
    } else {
        std::optional<Result> result;
        RunBlockingWork([&call, &result] { result.emplace(call()); });
        return std::move(*result);
    }
}

}  // namespace platform
