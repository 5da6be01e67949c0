#pragma once
// The "Ping" tab's two commands.

#include "ping/module1.h"

class QLineEdit;
class QPlainTextEdit;

namespace Module1 {

// The controls of the "Ping" tab the commands use, and the window's echo reply record,
// which both commands share from click to click.
struct Tab {
    QLineEdit* one;
    QLineEdit* two;
    QLineEdit* three;
    QLineEdit* four;
    QLineEdit* dot;  // the separator put between the four octets
    QLineEdit* hostname;
    QPlainTextEdit* results;
    EchoReply* PingReply;
};

// "Ping IP": pings the address in the four octet boxes and reports into `results`.
void PingItClick(const Tab& tab);
// "Ping Name": pings the address the name in `hostname` resolves to.
void PingNameClick(const Tab& tab);

}  // namespace Module1
