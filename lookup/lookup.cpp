#include "lookup/lookup.h"

#include "app/frmwinsock.h"

namespace lookup {
void GetLocalInfoClick(frmWinsock&) {}
void RemoteIPClick(frmWinsock&) {}
void RemoteHostClick(frmWinsock&) {}
}  // namespace lookup
