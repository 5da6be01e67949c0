#pragma once
// The whois client: its socket, the notification hook, its commands and its output.

class frmWinsock;

namespace whois {
// Start-up step: socket notifications for the window reach the whois client from now on.
void InstallNotifyHook(frmWinsock& form);
// Shut-down step: closes the whois socket if one is held.
void CloseWhoisSocket();
void cmdConnectClick(frmWinsock& form);
void unix2dosClick(frmWinsock& form);
}  // namespace whois
