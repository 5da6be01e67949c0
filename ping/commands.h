#pragma once
// The "Ping" tab's two commands.

class frmWinsock;

namespace Module1 {
void PingItClick(frmWinsock& form);
void PingNameClick(frmWinsock& form);
}  // namespace Module1
