#include "lookup/lookup.h"

#include <QLineEdit>

#include "net/winsock.h"

namespace lookup {

void GetLocalInfoClick(const LocalInfoTab& tab) {
    tab.localhostname->setText(Winsock::LocalHostName());
    const std::int32_t address = Winsock::LocalHostAddress(Winsock::LocalHostName());
    tab.localhostip->setText(Winsock::AddressToText(address));
}

void RemoteIPClick(const DnsTab& tab) {
    const std::int32_t address = Winsock::HostToAddress(tab.RemoteHostName->text());
    tab.RemoteHostIP->setText(Winsock::AddressToText(address));
}

// The address's name, looked up forward and in reverse once more. A step that gives its
// failure value ends the command: "Unknown" is no host name and -1 no address to ask about.
void RemoteHostClick(const DnsTab& tab) {
    const QString unknown = QStringLiteral("Unknown");
    QString name = unknown;
    const std::int32_t address = Winsock::HostToAddress(tab.RemoteHostIP->text());
    if (address != -1) {
        const QString reverseName = Winsock::AddressToHostName(address);
        if (reverseName != unknown) {
            name = Winsock::OfficialHostName(reverseName);
        }
    }
    tab.RemoteHostName->setText(name);
}

}  // namespace lookup
