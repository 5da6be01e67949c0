#pragma once
// The whois client: its socket, the notification hook, its commands and its output.

#include <cstdint>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "whois/text.h"

class QEvent;
class QLineEdit;
class QPushButton;
class frmWinsock;

namespace whois {

// The socket of the one whois connection; 0 means none, -1 a failed attempt.
extern std::int16_t WhoisSocket;

// A window procedure in Qt terms: it is shown one event of the window and answers whether it
// took the event; an event that it does not take goes on to the window as usual.
using WindowProc = bool (*)(QObject* hWnd, QEvent* message);
// The procedure that had the window's events before the hook: the window's normal course.
extern WindowProc PreviousWindowProc;

// The controls of the "Whois" tab that the commands work on.
struct Tab {
    QLineEdit* DomainName = nullptr;
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtPort = nullptr;
    QPlainTextEdit* txtWinsock = nullptr;
    QPushButton* cmdConnect = nullptr;
};

// The whois client of one window: its controls, the reply under way and the exact text of the
// output box. It is a child of the window whose notifications it takes.
//
// The exact text is always up to date; the box catches up with it at most once a frame, in
// pieces small enough to keep the window answering, and then shows the end of the output.
class Client : public QObject {
    Q_OBJECT
public:
    // What one exchange may hold: this much reply text, and a box that needs no more than
    // about kBoxLimit bytes of memory.
    static constexpr qsizetype kReplyLimit = 64 * 1024 * 1024;
    static constexpr qsizetype kBoxLimit = qsizetype(1) << 30;
    // The box's memory for each character and each line it shows, half as much again as Qt 6.4
    // takes once every paragraph has been laid out (the heap beyond the exact text, 4 MiB shown):
    // - lines broken at 4,096 characters: 5.25 bytes a character (16.4 MiB before any scrolling);
    // - bare line feeds: 68.7 bytes each, so 63.5 a line besides its character (18.5 MiB before);
    // - lines of 38 bytes: 6.72 bytes a character, where these figures predict 6.92.
    // An 8 MiB reply of bare line feeds thus counts 0.87 GB and is shown whole.
    static constexpr qsizetype kBoxBytesPerCharacter = 8;
    static constexpr qsizetype kBoxBytesPerLine = 96;

    Client(const Tab& tab, QObject* window);

    const Tab& Controls() const { return tab_; }
    // The exact text of txtWinsock. The box shows CR, LF and CR LF alike as one line break
    // and gives all three back as LF; this is the text as it was written, CRs included. What
    // the user types into the box replaces it.
    const QString& OutputText() const { return text_; }
    void AppendOutput(const QString& text);
    // A new text for the box and its exact text.
    void SetOutputText(const QString& text);
    // A new exact text that the box shows as it shows the current one (unix2dos).
    void SetExactText(const QString& text) { text_ = text; }
    // Brings the box up to date at once.
    void CatchUp();

    // The reply of one exchange: decoded read by read, held to ReplyLimit bytes; FinishReply
    // gives what the decoder still holds.
    void StartReply();
    QString DecodeReply(QByteArrayView bytes);
    QString FinishReply() { return decoder_.Finish(); }
    qsizetype ReplyBytes() const { return replyBytes_; }
    // How many more reply bytes the exchange may take.
    qsizetype ReplyRoom() const;
    qsizetype ReplyLimit() const { return replyLimit_; }
    void SetReplyLimit(qsizetype bytes) { replyLimit_ = bytes; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void TakeEditedText();
    void ShowPending(qsizetype most, qsizetype mostParagraphs);
    void ForgetPending();

    Tab tab_;
    QString text_;
    ShownText shown_;
    QString pending_;  // shown text not yet in the box, from pendingAt_ on
    qsizetype pendingAt_ = 0;
    std::vector<ShownText::Paragraph> paragraphs_;  // those pending_ ends, from paragraphsAt_ on
    std::size_t paragraphsAt_ = 0;
    QTimer catchUp_;
    QElapsedTimer sinceScroll_;  // since the box last showed the end
    qsizetype boxCost_ = 0;      // estimated bytes of memory the box needs
    ReplyDecoder decoder_;
    qsizetype replyBytes_ = 0;
    qsizetype replyLimit_ = kReplyLimit;
    bool writing_ = false;
};

// The output box: what is copied or dragged out of it is the exact text of the selection.
class OutputBox : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    void SetClient(Client* client) { client_ = client; }

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    QPointer<Client> client_;
};

// Start-up step: socket notifications for the client's window reach NotifyWindowProc from now
// on.
void InstallNotifyHook(Client& client);
// Takes the whois socket's notifications (WM_SOCKET_NOTIFY) and passes every other event on.
bool NotifyWindowProc(QObject* hWnd, QEvent* message);
// Shut-down step: closes the whois socket if one is held.
void CloseWhoisSocket();

void cmdConnectClick(Client& client);
void unix2dosClick(Client& client);

// Sends the text on the whois socket and shows it behind "SEND: ".
void SendAndEcho(Client& client, const QString& text);
// Adds the text at the end of txtWinsock, without a separator.
void AppendOutput(Client& client, const QString& text);
// The exact text of the window's txtWinsock (defined with the window).
QString OutputText(frmWinsock& form);

}  // namespace whois
