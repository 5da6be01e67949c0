#pragma once
// What the whois commands accept from their boxes: the port number and the domain name.

#include <cstdint>

#include <QString>

namespace whois {

// A port text is a whole decimal number from -32768 to 32767 (a port above 32767 is given as
// its 16-bit negative), with a sign at most and blanks around it. True with `port` set when
// the text is one.
bool ReadPort(const QString& text, std::int16_t& port);

// A domain name can be sent as one query line: it holds no line end, which would make a
// second query of the rest, and no NUL, which would cut it short.
bool IsSendableDomain(const QString& domain);

}  // namespace whois
