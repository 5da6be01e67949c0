#include "ping/commands.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "net/winsock.h"

namespace Module1 {

namespace {

// Sends the echo to `address` with the window's reply record and shows the report.
void PingAndReport(const Tab& tab, const QString& address) {
    SendEcho(address, *tab.PingReply);
    tab.results->setPlainText(PingReport(address, *tab.PingReply));
}

}  // namespace

void PingItClick(const Tab& tab) {
    QLineEdit* const boxes[] = {tab.one, tab.two, tab.three, tab.four};
    for (QLineEdit* box : boxes) {
        if (box->text().isEmpty()) {
            box->setText(QStringLiteral("1"));
        }
    }
    std::int16_t octets[4] = {};
    for (int i = 0; i < 4; ++i) {
        const auto octet = OctetValue(boxes[i]->text());
        if (!octet) {
            tab.results->setPlainText(
                QStringLiteral("Not a number in box %1: \"%2\" (no echo sent)")
                    .arg(boxes[i]->objectName(), boxes[i]->text()));
            return;
        }
        octets[i] = *octet;
    }
    const QString separator = tab.dot->text();
    const QString address = QString::number(octets[0]) + separator + QString::number(octets[1]) +
                            separator + QString::number(octets[2]) + separator +
                            QString::number(octets[3]);
    PingAndReport(tab, address);
}

void PingNameClick(const Tab& tab) {
    const std::int32_t address = Winsock::HostToAddress(tab.hostname->text());
    PingAndReport(tab, Winsock::AddressToText(address));
}

}  // namespace Module1
