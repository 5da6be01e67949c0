#include "whois/whois.h"

#include "app/frmwinsock.h"

namespace whois {
void InstallNotifyHook(frmWinsock&) {}
void CloseWhoisSocket() {}
void cmdConnectClick(frmWinsock&) {}
void unix2dosClick(frmWinsock&) {}
}  // namespace whois
