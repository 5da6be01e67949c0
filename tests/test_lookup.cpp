// The "Local Info" and "IP / DNS" tabs, driven by clicks on the real window. Lookups that only
// the machine's hosts file answers run here; the rest run with a hosts file of the test's own
// in a private mount namespace (see test_lookup_private_resolver.h).

#include <sys/utsname.h>

#include <vector>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "app/frmwinsock.h"
#include "net/winsock.h"
#include "test_lookup_private_resolver.h"

namespace {

class LookupTabs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(form.Load());
        form.show();
    }

    void ShowTab(const QString& caption) {
        for (int index = 0; index < form.SSTab1->count(); ++index) {
            if (form.SSTab1->tabText(index) == caption) {
                form.SSTab1->setCurrentIndex(index);
                return;
            }
        }
        FAIL() << "no tab " << caption.toStdString();
    }

    // Types `text` into RemoteHostName, clicks RemoteIP and returns RemoteHostIP.
    QString RemoteIPOf(const QString& text) {
        ShowTab(QStringLiteral("IP / DNS"));
        form.RemoteHostName->setText(text);
        QTest::mouseClick(form.RemoteIP, Qt::LeftButton);
        EXPECT_EQ(form.RemoteHostName->text(), text) << "the input box must stay as typed";
        return form.RemoteHostIP->text();
    }

    // Types `text` into RemoteHostIP, clicks RemoteHost and returns RemoteHostName.
    QString RemoteHostOf(const QString& text) {
        ShowTab(QStringLiteral("IP / DNS"));
        form.RemoteHostIP->setText(text);
        QTest::mouseClick(form.RemoteHost, Qt::LeftButton);
        EXPECT_EQ(form.RemoteHostIP->text(), text) << "the input box must stay as typed";
        return form.RemoteHostName->text();
    }

    frmWinsock form;
};

QString NodeName() {
    utsname system{};
    return uname(&system) == 0 ? QString::fromLocal8Bit(system.nodename) : QString();
}

TEST_F(LookupTabs, RemoteIPShowsDottedTextsInCanonicalForm) {
    EXPECT_EQ(RemoteIPOf(QStringLiteral("127.0.0.1")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(RemoteIPOf(QStringLiteral("127.1")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(RemoteIPOf(QStringLiteral("0x7f.0.0.1")), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(RemoteIPOf(QStringLiteral("10.0.1.200")), QStringLiteral("10.0.1.200"));
    EXPECT_EQ(RemoteIPOf(QStringLiteral("255.255.255.255")), QStringLiteral("255.255.255.255"));
}

TEST_F(LookupTabs, RemoteIPLooksNamesUp) {
    EXPECT_EQ(RemoteIPOf(QStringLiteral("localhost")), QStringLiteral("127.0.0.1"));
}

TEST_F(LookupTabs, RemoteHostNamesLoopbackByAddressAndByName) {
    const QString byAddress = RemoteHostOf(QStringLiteral("127.0.0.1"));
    EXPECT_NE(byAddress, QStringLiteral("Unknown"));
    EXPECT_EQ(Winsock::HostToAddress(byAddress), 16777343) << byAddress.toStdString();
    EXPECT_EQ(RemoteHostOf(QStringLiteral("localhost")), byAddress);
}

// Runs in the private resolver: the local host name is listed twice, the first one wins.
TEST_F(LookupTabs, DISABLED_GetLocalInfoFillsNameThenAddressInOneClick) {
    ASSERT_TRUE(private_resolver::kInChild);
    ShowTab(QStringLiteral("Local Info"));
    EXPECT_EQ(form.localhostname->text(), QStringLiteral("localhostname"));
    EXPECT_EQ(form.localhostip->text(), QStringLiteral("localhostip"));
    std::vector<QString> written;
    QObject::connect(form.localhostname, &QLineEdit::textChanged,
                     [&written] { written.push_back(QStringLiteral("localhostname")); });
    QObject::connect(form.localhostip, &QLineEdit::textChanged,
                     [&written] { written.push_back(QStringLiteral("localhostip")); });

    QTest::mouseClick(form.GetLocalInfo, Qt::LeftButton);

    EXPECT_EQ(form.localhostname->text(), NodeName());
    EXPECT_EQ(form.localhostip->text(), QStringLiteral("127.0.0.42"));
    EXPECT_EQ(written, (std::vector<QString>{QStringLiteral("localhostname"),
                                             QStringLiteral("localhostip")}));
}

// Runs in the private resolver: the hosts file does not know the local host.
TEST_F(LookupTabs, DISABLED_GetLocalInfoShowsTheNameWithoutAnAddress) {
    ASSERT_TRUE(private_resolver::kInChild);
    ShowTab(QStringLiteral("Local Info"));
    QTest::mouseClick(form.GetLocalInfo, Qt::LeftButton);
    EXPECT_EQ(form.localhostname->text(), NodeName());
    EXPECT_EQ(form.localhostip->text(), QStringLiteral("255.255.255.255"));
}

const QByteArray kRemoteHosts =
    "127.0.0.1 localhost\n"
    "127.0.0.7 several.test\n"
    "127.0.0.3 several.test\n"
    "127.0.0.9 ninth.test\n"
    "127.0.0.13 other.test twelfth.test\n"
    "127.0.0.12 twelfth.test\n";

const QStringList kBadInput = {QString(),
                               QStringLiteral("   "),
                               QString(300, QLatin1Char('a')),
                               QStringLiteral("\u00f1and\u00fa.invalid"),
                               QStringLiteral("999.1.1.1"),
                               QStringLiteral("127.0.0.1:80"),
                               QStringLiteral("nosuch.invalid")};

TEST_F(LookupTabs, DISABLED_RemoteIPGivesTheFirstAddressOrTheFailureText) {
    ASSERT_TRUE(private_resolver::kInChild);
    EXPECT_EQ(RemoteIPOf(QStringLiteral("several.test")), QStringLiteral("127.0.0.7"));
    for (const QString& text : kBadInput) {
        EXPECT_EQ(RemoteIPOf(text), QStringLiteral("255.255.255.255")) << text.toStdString();
    }
}

TEST_F(LookupTabs, DISABLED_RemoteHostGivesTheNameOfTheSecondReverseLookup) {
    ASSERT_TRUE(private_resolver::kInChild);
    EXPECT_EQ(RemoteHostOf(QStringLiteral("127.0.0.9")), QStringLiteral("ninth.test"));
    EXPECT_EQ(RemoteHostOf(QStringLiteral("ninth.test")), QStringLiteral("ninth.test"));
    // 127.0.0.12 is twelfth.test, whose first address, 127.0.0.13, is other.test.
    EXPECT_EQ(RemoteHostOf(QStringLiteral("127.0.0.12")), QStringLiteral("other.test"));
    // A name in the box is resolved forward first: its first address is 127.0.0.7.
    EXPECT_EQ(RemoteHostOf(QStringLiteral("several.test")), QStringLiteral("several.test"));
}

TEST_F(LookupTabs, DISABLED_RemoteHostGivesUnknownWithoutAReverseEntry) {
    ASSERT_TRUE(private_resolver::kInChild);
    EXPECT_EQ(RemoteHostOf(QStringLiteral("127.0.0.200")), QStringLiteral("Unknown"));
    for (const QString& text : kBadInput) {
        EXPECT_EQ(RemoteHostOf(text), QStringLiteral("Unknown")) << text.toStdString();
    }
}

TEST(LookupTabsPrivate, GetLocalInfoFillsNameThenAddressInOneClick) {
    const QByteArray node = NodeName().toLocal8Bit();
    private_resolver::RunInPrivateResolver(
        "LookupTabs.DISABLED_GetLocalInfoFillsNameThenAddressInOneClick",
        "127.0.0.42 " + node + "\n127.0.0.43 " + node + "\n127.0.0.1 localhost\n");
}

TEST(LookupTabsPrivate, GetLocalInfoShowsTheNameWithoutAnAddress) {
    if (NodeName() == QStringLiteral("localhost")) {
        GTEST_SKIP() << "this machine is named localhost, which every hosts file knows";
    }
    private_resolver::RunInPrivateResolver(
        "LookupTabs.DISABLED_GetLocalInfoShowsTheNameWithoutAnAddress", "127.0.0.1 localhost\n");
}

TEST(LookupTabsPrivate, RemoteIPGivesTheFirstAddressOrTheFailureText) {
    private_resolver::RunInPrivateResolver(
        "LookupTabs.DISABLED_RemoteIPGivesTheFirstAddressOrTheFailureText", kRemoteHosts);
}

TEST(LookupTabsPrivate, RemoteHostGivesTheNameOfTheSecondReverseLookup) {
    private_resolver::RunInPrivateResolver(
        "LookupTabs.DISABLED_RemoteHostGivesTheNameOfTheSecondReverseLookup", kRemoteHosts);
}

TEST(LookupTabsPrivate, RemoteHostGivesUnknownWithoutAReverseEntry) {
    private_resolver::RunInPrivateResolver(
        "LookupTabs.DISABLED_RemoteHostGivesUnknownWithoutAReverseEntry", kRemoteHosts);
}

}  // namespace
