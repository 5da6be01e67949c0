#include "ping/commands.h"

#include "app/frmwinsock.h"

namespace Module1 {
void PingItClick(frmWinsock&) {}
void PingNameClick(frmWinsock&) {}
}  // namespace Module1
