#pragma once
// The one window: an inventory of its controls and the wiring of their events.

#include <QWidget>

#include "about/mascot.h"
#include "ping/module1.h"
#include "platform/winsock/winsock.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class PictureBox;
class VbLabel;
class VbTimer;
namespace whois {
class Client;
class OutputBox;
}  // namespace whois

class frmWinsock : public QWidget {
    Q_OBJECT
public:
    explicit frmWinsock(QWidget* parent = nullptr);
    ~frmWinsock() override;

    // Runs the load steps in order; false when the program must end.
    bool Load();
    // Runs the unload steps once; the window's close event calls it too.
    void Unload();

    QTabWidget* SSTab1 = nullptr;

    // "Local Info"
    VbLabel* Label8 = nullptr;
    VbLabel* Label6 = nullptr;
    QLineEdit* localhostname = nullptr;
    VbLabel* Label7 = nullptr;
    QLineEdit* localhostip = nullptr;
    QPushButton* GetLocalInfo = nullptr;

    // "IP / DNS"
    VbLabel* Label9 = nullptr;
    VbLabel* Label1 = nullptr;
    QLineEdit* RemoteHostName = nullptr;
    QPushButton* RemoteIP = nullptr;
    VbLabel* Label2 = nullptr;
    QLineEdit* RemoteHostIP = nullptr;
    QPushButton* RemoteHost = nullptr;

    // "Ping"
    VbLabel* Label10 = nullptr;
    QPushButton* pingname = nullptr;
    QLineEdit* hostname = nullptr;
    QPushButton* pingit = nullptr;
    QLineEdit* one = nullptr;
    QLineEdit* two = nullptr;
    QLineEdit* three = nullptr;
    QLineEdit* four = nullptr;
    QPlainTextEdit* results = nullptr;
    QLineEdit* dot = nullptr;

    // "Whois"
    VbLabel* Label3 = nullptr;
    QLineEdit* DomainName = nullptr;
    whois::OutputBox* txtWinsock = nullptr;
    VbLabel* Label4 = nullptr;
    QLineEdit* txtServer = nullptr;
    QLineEdit* txtPort = nullptr;
    VbLabel* Label14 = nullptr;
    VbLabel* Label5 = nullptr;
    QPushButton* cmdConnect = nullptr;
    QPushButton* unix2dos = nullptr;
    // The whois client of this window: its reply and the exact text of txtWinsock.
    whois::Client* WhoisClient = nullptr;

    // "About"
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture2 = nullptr;
    PictureBox* Picture3 = nullptr;
    VbLabel* Label12 = nullptr;
    VbLabel* Label11 = nullptr;
    VbLabel* Label13 = nullptr;
    QPlainTextEdit* mooinfo = nullptr;
    VbTimer* Timer1 = nullptr;
    VbTimer* Timer2 = nullptr;

    // The echo reply record both ping commands share.
    Module1::EchoReply PingReply;
    Moodule::MascotState Mascot;
    WSADATA wsaData;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Life { Created, Running, Ended };

    void CreateControls();
    void BindControls();
    void ConnectEvents();

    Life life_ = Life::Created;
};
