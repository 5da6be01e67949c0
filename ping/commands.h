#pragma once
// The "Ping" tab's two commands.

#include <QString>

#include "ping/module1.h"

class frmWinsock;

namespace Module1 {

// "Ping IP": pings the address in the four octet boxes and reports into `results`.
void PingItClick(frmWinsock& form);
// "Ping Name": pings the address the name in `hostname` resolves to.
void PingNameClick(frmWinsock& form);

// The five-line report of one echo: the address, the status line, the round-trip time, the
// size of the echoed data and an empty line, each ended by CR LF.
QString PingReport(const QString& address, const EchoReply& reply);

}  // namespace Module1
