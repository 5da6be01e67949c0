#pragma once
// A stand-in window for socket tests: it records every socket message it is sent and lets a
// test react to each one as a window procedure would.

#include <functional>
#include <vector>

#include <QObject>

#include "platform/asyncselect.h"

struct SocketNote {
    int socket;
    int event;
    int error;
};

class SocketRecorder : public QObject {
public:
    std::vector<SocketNote> notes;
    std::function<void(const SocketNote&)> onNote;

    int Count(int event) const {
        int count = 0;
        for (const SocketNote& note : notes) {
            count += note.event == event ? 1 : 0;
        }
        return count;
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() != platform::SocketMessage::EventType()) {
            return QObject::event(event);
        }
        const auto* message = static_cast<platform::SocketMessage*>(event);
        const SocketNote note{message->wParam, message->lParam & 0xffff,
                              (message->lParam >> 16) & 0xffff};
        notes.push_back(note);
        if (onNote) {
            onNote(note);
        }
        return true;
    }
};
