#include "ping/commands.h"

#include <cmath>
#include <optional>

#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include "app/frmwinsock.h"
#include "net/winsock.h"

namespace Module1 {

namespace {

// An octet box's text as a signed 16-bit number: a decimal number with an optional sign and
// fraction, blanks around it allowed; a fraction is rounded to the nearest whole number, a
// half to the even neighbour (2.5 gives 2, 3.5 gives 4). Nothing for any other text.
std::optional<std::int16_t> OctetValue(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch()) {
        return std::nullopt;
    }
    // Read with a full stop as the decimal mark whatever the user's locale; the default
    // rounding mode rounds halves to even.
    const double value = std::nearbyint(QLocale::c().toDouble(trimmed));
    if (value < -32768.0 || value > 32767.0) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

// Sends the echo to `address` with the window's reply record and shows the report.
void PingAndReport(frmWinsock& form, const QString& address) {
    SendEcho(address, form.PingReply);
    form.results->setPlainText(PingReport(address, form.PingReply));
}

}  // namespace

QString PingReport(const QString& address, const EchoReply& reply) {
    const QString crlf = QStringLiteral("\r\n");
    return address + crlf + EchoStatusText(reply.Status) + crlf +
           QString::number(reply.RoundTripTime) + QStringLiteral(" ms  Round Trip Time") + crlf +
           QString::number(reply.DataSize) + QStringLiteral(" bytes  Data") + crlf + crlf;
}

void PingItClick(frmWinsock& form) {
    QLineEdit* const boxes[] = {form.one, form.two, form.three, form.four};
    for (QLineEdit* box : boxes) {
        if (box->text().isEmpty()) {
            box->setText(QStringLiteral("1"));
        }
    }
    std::int16_t octets[4] = {};
    for (int i = 0; i < 4; ++i) {
        const auto octet = OctetValue(boxes[i]->text());
        if (!octet) {
            form.results->setPlainText(
                QStringLiteral("Not a number in box %1: \"%2\" (no echo sent)")
                    .arg(boxes[i]->objectName(), boxes[i]->text()));
            return;
        }
        octets[i] = *octet;
    }
    const QString separator = form.dot->text();
    const QString address = QString::number(octets[0]) + separator + QString::number(octets[1]) +
                            separator + QString::number(octets[2]) + separator +
                            QString::number(octets[3]);
    PingAndReport(form, address);
}

void PingNameClick(frmWinsock& form) {
    const std::int32_t address = Winsock::HostToAddress(form.hostname->text());
    PingAndReport(form, Winsock::AddressToText(address));
}

}  // namespace Module1
