#include "app/layout.h"

namespace layout {
namespace {

constexpr Control kLocalInfo[] = {
    {"Label8", Kind::Label, "Get Information about your computer", 300, 840, 4635, 375, 32, Plain},
    {"Label6", Kind::Label, "Local Host Name", 360, 1440, 2835, 255, 30, Plain},
    {"localhostname", Kind::TextBox, "localhostname", 360, 1800, 2775, 375, 2, Plain},
    {"Label7", Kind::Label, "Local Host IP", 360, 2460, 2775, 315, 31, Plain},
    {"localhostip", Kind::TextBox, "localhostip", 360, 2820, 2775, 375, 1, Plain},
    {"GetLocalInfo", Kind::Button, "Get Local Info", 3420, 2220, 1455, 375, 3, Plain},
};

constexpr Control kIpDns[] = {
    {"Label9", Kind::Label, "Convert a Host Name to an IP address or IP to Host Name", 300, 780,
     4455, 375, 33, Plain},
    {"Label1", Kind::Label, "RemoteHostName", 300, 1440, 2715, 315, 9, Plain},
    {"RemoteHostName", Kind::TextBox, "www.debian.org", 300, 1800, 2775, 375, 7, Plain},
    {"RemoteIP", Kind::Button, "RemoteIP", 3240, 1800, 1095, 375, 5, Plain},
    {"Label2", Kind::Label, "Remote IP", 300, 2340, 2715, 255, 8, Plain},
    {"RemoteHostIP", Kind::TextBox, "127.0.0.1", 300, 2700, 2775, 375, 6, Plain},
    {"RemoteHost", Kind::Button, "RemoteHost", 3240, 2700, 1095, 375, 4, Plain},
};

constexpr Control kPing[] = {
    {"Label10", Kind::Label, "Ping a Remote computer by Host Name or IP", 240, 540, 3615, 375, 34,
     Plain},
    {"pingname", Kind::Button, "Ping Name", 240, 1140, 1155, 315, 17, Plain},
    {"hostname", Kind::TextBox, "localhost", 1620, 1140, 1635, 315, 11, Plain},
    {"pingit", Kind::Button, "Ping IP", 240, 1740, 1155, 315, 10, Plain},
    {"one", Kind::TextBox, "127", 1620, 1740, 435, 285, 13, MaxLength3},
    {"two", Kind::TextBox, "0", 2100, 1740, 435, 285, 14, MaxLength3},
    {"three", Kind::TextBox, "0", 2580, 1740, 435, 285, 15, MaxLength3},
    {"four", Kind::TextBox, "1", 3060, 1740, 435, 285, 16, MaxLength3},
    {"results", Kind::TextBox, "", 360, 2160, 4335, 2415, 12, MultiLine},
    {"dot", Kind::TextBox, ".", 4740, 1260, 495, 285, 18, Hidden | MaxLength1},
};

constexpr Control kWhois[] = {
    {"Label3", Kind::Label,
     "Enter a Domain Name - Do Not use prefixes like www - ex. (example.com)", 240, 480, 5475, 315,
     22, Plain},
    {"DomainName", Kind::TextBox, "debian.net", 300, 900, 2775, 315, 21, Plain},
    {"txtWinsock", Kind::TextBox, "", 240, 1380, 5475, 1875, 27, VerticalScrollBar},
    {"Label4", Kind::Label, "Enter alternative Whois host or just use the Verisign", 480, 3360,
     4335, 315, 28, Plain},
    {"txtServer", Kind::TextBox, "whois.verisign-grs.com", 480, 3660, 3435, 285, 25, Plain},
    {"txtPort", Kind::TextBox, "43", 4140, 3660, 795, 285, 24, Plain},
    {"Label14", Kind::Label, "Port", 5040, 3720, 285, 195, 42, Plain},
    {"Label5", Kind::Label,
     "Press Connect then press Whois to send your request.  unix2dos will clear up the text.", 480,
     4020, 4035, 495, 29, Plain},
    {"cmdConnect", Kind::Button, "Connect", 480, 4500, 1815, 495, 26, Plain},
    {"unix2dos", Kind::Button, "unix2dos", 3180, 4560, 1335, 375, 23, Plain},
};

// The three picture boxes share one rectangle; later rows lie in front of earlier ones.
constexpr Control kAbout[] = {
    {"Picture1", Kind::PictureBox, "", 480, 660, 1275, 1215, 37, Plain},
    {"Picture2", Kind::PictureBox, "", 480, 660, 1275, 1215, 36, Plain},
    {"Picture3", Kind::PictureBox, "", 480, 660, 1275, 1215, 35, Plain},
    {"Label12", Kind::Label, "Norvane ", 2160, 600, 3255, 675, 40, Font24},
    {"Label11", Kind::Label, "Byre Lane Software", 2460, 1320, 2415, 315, 39, Font12},
    {"Label13", Kind::Label, "www.byrelane.example", 1800, 1800, 2775, 315, 41, Plain},
    {"mooinfo", Kind::TextBox, "", 360, 2220, 5295, 2535, 38, VerticalScrollBar | ReadOnly},
};

const std::array<Tab, 5> kTabs = {{
    {"Local Info", kLocalInfo},
    {"IP / DNS", kIpDns},
    {"Ping", kPing},
    {"Whois", kWhois},
    {"About", kAbout},
}};

constexpr Accessible kAccessible[] = {
    {"localhostname", "Label6", nullptr},
    {"localhostip", "Label7", nullptr},
    {"RemoteHostName", "Label1", "Remote host name"},
    {"RemoteHostIP", "Label2", nullptr},
    {"hostname", nullptr, "Host name to ping"},
    {"one", nullptr, "First octet"},
    {"two", nullptr, "Second octet"},
    {"three", nullptr, "Third octet"},
    {"four", nullptr, "Fourth octet"},
    {"dot", nullptr, "Octet separator"},
    {"results", nullptr, "Ping report"},
    {"DomainName", "Label3", "Domain name"},
    {"txtWinsock", nullptr, "Whois output"},
    {"txtServer", "Label4", "Whois server"},
    {"txtPort", "Label14", nullptr},
    {"mooinfo", nullptr, "Terms of use"},
    {"Picture1", nullptr, "Mascot: click to tumble"},
    {"Picture2", nullptr, "Mascot: click to tumble"},
    {"Picture3", nullptr, "Mascot: click to tumble"},
};

}  // namespace

const std::array<Tab, 5>& Tabs() {
    return kTabs;
}

std::span<const Accessible> AccessibleNames() {
    return kAccessible;
}

}  // namespace layout
