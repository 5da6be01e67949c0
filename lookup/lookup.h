#pragma once
// The "Local Info" and "IP / DNS" tabs' commands. Each reads at most one box of its tab, asks
// the name service and replaces the text of one box.

class QLineEdit;

namespace lookup {

// The boxes of the "Local Info" tab.
struct LocalInfoTab {
    QLineEdit* localhostname;
    QLineEdit* localhostip;
};

// The boxes of the "IP / DNS" tab.
struct DnsTab {
    QLineEdit* RemoteHostName;
    QLineEdit* RemoteHostIP;
};

void GetLocalInfoClick(const LocalInfoTab& tab);
void RemoteIPClick(const DnsTab& tab);
void RemoteHostClick(const DnsTab& tab);

}  // namespace lookup
