#pragma once
// How WSAAsyncSelect's notifications reach a window. Winsock posts a window message with two
// parameters; here the message arrives at the window as a Qt event of its own type, sent on
// the window's thread from the event loop, one event per network event.

#include <cstdint>

#include <QEvent>

namespace platform {

class SocketMessage : public QEvent {
public:
    SocketMessage(unsigned message, std::int32_t wParam, std::int32_t lParam);
    // The event type of every socket message, registered with Qt once.
    static QEvent::Type EventType();

    const unsigned message;     // the message number given to WSAAsyncSelect
    const std::int32_t wParam;  // the socket
    const std::int32_t lParam;  // the event in the low word, its error code in the high word
};

}  // namespace platform
