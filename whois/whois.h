#pragma once
// The whois client: its socket, the notification hook, its commands and its output.

#include <cstdint>

#include <QString>

class QEvent;
class QObject;
class frmWinsock;

namespace whois {

// The socket of the one whois connection; 0 means none, -1 a failed attempt.
extern std::int16_t WhoisSocket;

// A window procedure in Qt terms: it is shown one event of the window and answers whether it
// took the event; an event that it does not take goes on to the window as usual.
using WindowProc = bool (*)(QObject* hWnd, QEvent* message);
// The procedure that had the window's events before the hook: the window's normal course.
extern WindowProc PreviousWindowProc;

// Start-up step: socket notifications for the window reach NotifyWindowProc from now on.
void InstallNotifyHook(frmWinsock& form);
// Takes the whois socket's notifications (WM_SOCKET_NOTIFY) and passes every other event on.
bool NotifyWindowProc(QObject* hWnd, QEvent* message);
// Shut-down step: closes the whois socket if one is held.
void CloseWhoisSocket();

void cmdConnectClick(frmWinsock& form);
void unix2dosClick(frmWinsock& form);

// Sends the text on the whois socket and shows it behind "SEND: ".
void SendAndEcho(frmWinsock& form, const QString& text);
// Adds the text at the end of txtWinsock, without a separator.
void AppendOutput(frmWinsock& form, const QString& text);
// The exact text of txtWinsock. The box shows CR, LF and CR LF alike as one line break and
// gives all three back as LF; this is the text as it was written, CRs included.
QString OutputText(frmWinsock& form);

// Every occurrence of `search` in `source`, left to right and without overlaps, replaced by
// `replacement`. An empty search text finds nothing.
QString ReplaceAll(const QString& source, const QString& search, const QString& replacement);

}  // namespace whois
