#include "lookup/lookup.h"

#include <QLineEdit>

#include "app/frmwinsock.h"
#include "net/winsock.h"

namespace lookup {

void GetLocalInfoClick(frmWinsock& form) {
    form.localhostname->setText(Winsock::LocalHostName());
    const std::int32_t address = Winsock::HostToAddress(Winsock::LocalHostName());
    form.localhostip->setText(Winsock::AddressToText(address));
}

void RemoteIPClick(frmWinsock& form) {
    const std::int32_t address = Winsock::HostToAddress(form.RemoteHostName->text());
    form.RemoteHostIP->setText(Winsock::AddressToText(address));
}

void RemoteHostClick(frmWinsock& form) {
    const std::int32_t address = Winsock::HostToAddress(form.RemoteHostIP->text());
    const QString reverseName = Winsock::AddressToHostName(address);
    form.RemoteHostName->setText(Winsock::OfficialHostName(reverseName));
}

}  // namespace lookup
