#pragma once
// The "Local Info" and "IP / DNS" tabs' commands.

class frmWinsock;

namespace lookup {
void GetLocalInfoClick(frmWinsock& form);
void RemoteIPClick(frmWinsock& form);
void RemoteHostClick(frmWinsock& form);
}  // namespace lookup
