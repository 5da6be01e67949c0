// Many whois connections in a row leave no descriptor behind.

#include <memory>
#include <string>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/frmwinsock.h"
#include "loopback.h"
#include "whois/whois.h"

namespace {

using loopback::WaitUntil;

TEST(WhoisDescriptors, ThousandConnectDisconnectCyclesLeakNothing) {
    // Answers the query "close" and closes; any other query it holds until the client
    // resets the connection.
    const auto session = [](int fd) {
        if (loopback::ReadLine(fd) == "close\r\n") {
            loopback::WriteAll(fd, "closing\n");
        } else {
            loopback::AwaitEnd(fd);
        }
        ::close(fd);
    };

    auto form = std::make_unique<frmWinsock>();
    ASSERT_TRUE(form->Load());
    form->SSTab1->setCurrentIndex(3);
    form->show();
    form->txtServer->setText(QStringLiteral("127.0.0.1"));
    const auto caption = [&] { return form->cmdConnect->text(); };
    const auto click = [&] { QTest::mouseClick(form->cmdConnect, Qt::LeftButton); };

    const auto cycle = [&](loopback::Server& server, const char* query) {
        form->txtPort->setText(server.PortText());
        form->DomainName->setText(QString::fromLatin1(query));
        click();
        if (!WaitUntil([&] { return caption() == QLatin1String("Whois"); })) {
            return false;
        }
        click();
        if (std::string(query) == "close") {
            return WaitUntil([&] { return caption() == QLatin1String("Connect"); });
        }
        click();
        return caption() == QLatin1String("Connect");
    };

    // One exchange first, so that what Qt opens once for good is opened before counting.
    {
        loopback::Server warmUp(session);
        ASSERT_TRUE(cycle(warmUp, "warm-up"));
        ASSERT_TRUE(cycle(warmUp, "close"));
    }
    const int before = loopback::OpenDescriptors();
    {
        loopback::Server server(session);
        for (int i = 0; i < 1000; ++i) {
            ASSERT_TRUE(cycle(server, "example.test")) << "cycle " << i;
        }
        // Exchanges that the server ends.
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(cycle(server, "close")) << "exchange " << i;
        }
        ASSERT_TRUE(loopback::WaitWithoutEvents([&] { return server.Finished() == 1100; }));
    }
    loopback::Spin(100);
    EXPECT_EQ(loopback::OpenDescriptors(), before);
    form.reset();
    whois::WhoisSocket = 0;
}

}  // namespace
