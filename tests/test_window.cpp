// The window as it opens: every control by name with its design-time state, the tab
// control, the timers, and the load and unload steps.

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/controls.h"
#include "app/frmwinsock.h"
#include "platform/winsock.h"
#include "tests/qt_printers.h"

namespace {

enum class Kind { Label, TextBox, MultiLine, Button, Picture };

struct Expected {
    const char* name;
    Kind kind;
    const char* text;
    int left, top, width, height;  // twips, relative to the tab control
    int tabIndex;
    int tab;
};

// The window's design, typed in again here rather than taken from the code.
const Expected kControls[] = {
    {"Label8", Kind::Label, "Get Information about your computer", 300, 840, 4635, 375, 32, 0},
    {"Label6", Kind::Label, "Local Host Name", 360, 1440, 2835, 255, 30, 0},
    {"localhostname", Kind::TextBox, "localhostname", 360, 1800, 2775, 375, 2, 0},
    {"Label7", Kind::Label, "Local Host IP", 360, 2460, 2775, 315, 31, 0},
    {"localhostip", Kind::TextBox, "localhostip", 360, 2820, 2775, 375, 1, 0},
    {"GetLocalInfo", Kind::Button, "Get Local Info", 3420, 2220, 1455, 375, 3, 0},
    {"Label9", Kind::Label, "Convert a Host Name to an IP address or IP to Host Name", 300, 780,
     4455, 375, 33, 1},
    {"Label1", Kind::Label, "RemoteHostName", 300, 1440, 2715, 315, 9, 1},
    {"RemoteHostName", Kind::TextBox, "www.debian.org", 300, 1800, 2775, 375, 7, 1},
    {"RemoteIP", Kind::Button, "RemoteIP", 3240, 1800, 1095, 375, 5, 1},
    {"Label2", Kind::Label, "Remote IP", 300, 2340, 2715, 255, 8, 1},
    {"RemoteHostIP", Kind::TextBox, "127.0.0.1", 300, 2700, 2775, 375, 6, 1},
    {"RemoteHost", Kind::Button, "RemoteHost", 3240, 2700, 1095, 375, 4, 1},
    {"Label10", Kind::Label, "Ping a Remote computer by Host Name or IP", 240, 540, 3615, 375, 34,
     2},
    {"pingname", Kind::Button, "Ping Name", 240, 1140, 1155, 315, 17, 2},
    {"hostname", Kind::TextBox, "localhost", 1620, 1140, 1635, 315, 11, 2},
    {"pingit", Kind::Button, "Ping IP", 240, 1740, 1155, 315, 10, 2},
    {"one", Kind::TextBox, "127", 1620, 1740, 435, 285, 13, 2},
    {"two", Kind::TextBox, "0", 2100, 1740, 435, 285, 14, 2},
    {"three", Kind::TextBox, "0", 2580, 1740, 435, 285, 15, 2},
    {"four", Kind::TextBox, "1", 3060, 1740, 435, 285, 16, 2},
    {"results", Kind::MultiLine, "", 360, 2160, 4335, 2415, 12, 2},
    {"dot", Kind::TextBox, ".", 4740, 1260, 495, 285, 18, 2},
    {"Label3", Kind::Label,
     "Enter a Domain Name - Do Not use prefixes like www - ex. (example.com)", 240, 480, 5475, 315,
     22, 3},
    {"DomainName", Kind::TextBox, "debian.net", 300, 900, 2775, 315, 21, 3},
    {"txtWinsock", Kind::MultiLine, "", 240, 1380, 5475, 1875, 27, 3},
    {"Label4", Kind::Label, "Enter alternative Whois host or just use the Verisign", 480, 3360,
     4335, 315, 28, 3},
    {"txtServer", Kind::TextBox, "whois.verisign-grs.com", 480, 3660, 3435, 285, 25, 3},
    {"txtPort", Kind::TextBox, "43", 4140, 3660, 795, 285, 24, 3},
    {"Label14", Kind::Label, "Port", 5040, 3720, 285, 195, 42, 3},
    {"Label5", Kind::Label,
     "Press Connect then press Whois to send your request.  unix2dos will clear up the text.", 480,
     4020, 4035, 495, 29, 3},
    {"cmdConnect", Kind::Button, "Connect", 480, 4500, 1815, 495, 26, 3},
    {"unix2dos", Kind::Button, "unix2dos", 3180, 4560, 1335, 375, 23, 3},
    {"Picture3", Kind::Picture, "", 480, 660, 1275, 1215, 35, 4},
    {"Picture2", Kind::Picture, "", 480, 660, 1275, 1215, 36, 4},
    {"Picture1", Kind::Picture, "", 480, 660, 1275, 1215, 37, 4},
    {"Label12", Kind::Label, "Norvane ", 2160, 600, 3255, 675, 40, 4},
    {"Label11", Kind::Label, "Byre Lane Software", 2460, 1320, 2415, 315, 39, 4},
    {"Label13", Kind::Label, "www.byrelane.example", 1800, 1800, 2775, 315, 41, 4},
    {"mooinfo", Kind::MultiLine, "", 360, 2220, 5295, 2535, 38, 4},
};

QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        return line->text();
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
        return box->toPlainText();
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        return button->text();
    }
    return {};
}

bool IsKind(QWidget* control, Kind kind) {
    switch (kind) {
        case Kind::Label:
            return qobject_cast<VbLabel*>(control) != nullptr;
        case Kind::TextBox:
            return qobject_cast<QLineEdit*>(control) != nullptr;
        case Kind::MultiLine:
            return qobject_cast<QPlainTextEdit*>(control) != nullptr;
        case Kind::Button:
            return qobject_cast<QPushButton*>(control) != nullptr;
        case Kind::Picture:
            return qobject_cast<PictureBox*>(control) != nullptr;
    }
    return false;
}

// Where a control stands relative to the tab control, in pixels.
QRect PlaceInTabControl(frmWinsock& form, QWidget* control) {
    return QRect(control->mapTo(form.SSTab1, QPoint(0, 0)), control->size());
}

// Shows every tab once, so that each page has been laid out as a person would see it.
void VisitEveryTab(frmWinsock& form) {
    const int opening = form.SSTab1->currentIndex();
    for (int i = 0; i < form.SSTab1->count(); ++i) {
        form.SSTab1->setCurrentIndex(i);
        QCoreApplication::processEvents();
    }
    form.SSTab1->setCurrentIndex(opening);
    QCoreApplication::processEvents();
}

// Presses OK on the next message box, as a person would, and records its title and text.
struct MessageBoxWatcher {
    QStringList seen;
    QTimer timer;
    MessageBoxWatcher() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + QStringLiteral("|") + box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer.start();
    }
};

TEST(Window, OpensWithEveryControlAtItsDesignTimeState) {
    frmWinsock form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    VisitEveryTab(form);

    EXPECT_EQ(form.windowTitle(), "Norvane");
    EXPECT_EQ(form.objectName(), "frmWinsock");
    EXPECT_EQ(form.size(), QSize(411, 358));
    EXPECT_EQ(form.SSTab1->objectName(), "SSTab1");
    EXPECT_EQ(form.SSTab1->geometry(), QRect(4, 12, 401, 341));

    for (const Expected& want : kControls) {
        SCOPED_TRACE(want.name);
        auto* control = form.findChild<QWidget*>(QString::fromLatin1(want.name));
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(IsKind(control, want.kind));
        EXPECT_EQ(TextOf(control), QString::fromLatin1(want.text));
        EXPECT_EQ(control->property("TabIndex").toInt(), want.tabIndex);
        EXPECT_EQ(form.SSTab1->indexOf(control->parentWidget()), want.tab);

        const QRect place = PlaceInTabControl(form, control);
        EXPECT_EQ(place.topLeft(), QPoint(want.left / 15, want.top / 15));
        EXPECT_EQ(place.height(), want.height / 15);
        // A one-word label may grow to the right so that its word is never cut.
        if (want.kind == Kind::Label && !QString::fromLatin1(want.text).contains(' ')) {
            EXPECT_GE(place.width(), want.width / 15);
        } else {
            EXPECT_EQ(place.width(), want.width / 15);
        }
    }
}

TEST(Window, TabControlHasFiveTabsInOneRowAndOpensOnAbout) {
    frmWinsock form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    const QStringList captions = {"Local Info", "IP / DNS", "Ping", "Whois", "About"};
    ASSERT_EQ(form.SSTab1->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form.SSTab1->tabText(i), captions[i]);
        EXPECT_EQ(form.SSTab1->tabBar()->tabRect(i).top(), form.SSTab1->tabBar()->tabRect(0).top());
    }
    EXPECT_LE(form.SSTab1->tabBar()->tabRect(4).right(), form.SSTab1->width());
    EXPECT_EQ(form.SSTab1->currentIndex(), 4);
    EXPECT_TRUE(form.Picture3->isVisible());
    EXPECT_FALSE(form.results->isVisible());
}

TEST(Window, ControlSettingsThatDifferFromTheDefaults) {
    frmWinsock form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    form.SSTab1->setCurrentIndex(2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.dot->isVisible());
    EXPECT_EQ(form.dot->text(), ".");
    for (QLineEdit* octet : {form.one, form.two, form.three, form.four}) {
        octet->clear();
        QTest::keyClicks(octet, "12345");
        EXPECT_EQ(octet->text(), "123");
    }
    EXPECT_EQ(form.results->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form.results->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(form.results->isReadOnly());

    EXPECT_EQ(form.txtWinsock->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(form.txtWinsock->isReadOnly());
    EXPECT_EQ(form.mooinfo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(form.mooinfo->isReadOnly());
    EXPECT_TRUE(form.mooinfo->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(form.mooinfo->textInteractionFlags() & Qt::TextSelectableByKeyboard);

    EXPECT_EQ(form.Label12->font().pointSize(), 24);
    EXPECT_EQ(form.Label11->font().pointSize(), 12);
    EXPECT_EQ(form.Label12->font().weight(), QFont::Normal);

    // The still picture lies in front of the other two picture boxes and shows the mascot.
    form.SSTab1->setCurrentIndex(4);
    QCoreApplication::processEvents();
    const QPoint centre = form.Picture3->geometry().center();
    EXPECT_EQ(form.Picture3->parentWidget()->childAt(centre), form.Picture3);
    EXPECT_EQ(form.Picture3->geometry(), form.Picture2->geometry());
    EXPECT_EQ(form.Picture3->geometry(), form.Picture1->geometry());
    const QImage& still = form.Picture3->Image();
    EXPECT_EQ(still.pixelColor(0, 0), PictureBox::BackColor());
    EXPECT_NE(still.pixelColor(37, 37), PictureBox::BackColor());

    const QIcon icon = form.windowIcon();
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
}

TEST(Window, TabKeyFollowsTheDesignOrder) {
    frmWinsock form;
    // Focusable controls in the order of their tab index.
    const QStringList expected = {"localhostip",
                                  "localhostname",
                                  "GetLocalInfo",
                                  "RemoteHost",
                                  "RemoteIP",
                                  "RemoteHostIP",
                                  "RemoteHostName",
                                  "pingit",
                                  "hostname",
                                  "results",
                                  "one",
                                  "two",
                                  "three",
                                  "four",
                                  "pingname",
                                  "dot",
                                  "DomainName",
                                  "unix2dos",
                                  "txtPort",
                                  "txtServer",
                                  "cmdConnect",
                                  "txtWinsock",
                                  "mooinfo"};
    QStringList chain;
    QWidget* widget = form.localhostip;
    for (int step = 0; step < 1000 && chain.size() < expected.size(); ++step) {
        if (expected.contains(widget->objectName()) && !chain.contains(widget->objectName())) {
            chain << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(chain, expected);
}

TEST(Window, ResizingMovesNoControl) {
    frmWinsock form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    VisitEveryTab(form);
    QMap<QString, QRect> before;
    for (const Expected& control : kControls) {
        auto* widget = form.findChild<QWidget*>(QString::fromLatin1(control.name));
        before[control.name] = PlaceInTabControl(form, widget);
    }
    const QRect tabs = form.SSTab1->geometry();

    form.resize(800, 600);
    form.showMaximized();
    QCoreApplication::processEvents();
    VisitEveryTab(form);

    EXPECT_EQ(form.SSTab1->geometry(), tabs);
    for (const Expected& control : kControls) {
        auto* widget = form.findChild<QWidget*>(QString::fromLatin1(control.name));
        EXPECT_EQ(PlaceInTabControl(form, widget), before[control.name]) << control.name;
    }
}

TEST(Timers, DesignTimeSettingsAndTheZeroInterval) {
    frmWinsock form;
    EXPECT_EQ(form.Timer1->Interval(), 0);
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_FALSE(form.Timer1->Ticking());
    EXPECT_EQ(form.Timer2->Interval(), 3000);
    EXPECT_TRUE(form.Timer2->Enabled());
    EXPECT_TRUE(form.Timer2->Ticking());

    VbTimer timer;
    QSignalSpy ticks(&timer, &VbTimer::Timer);
    timer.SetInterval(0);
    QTest::qWait(50);
    EXPECT_EQ(ticks.count(), 0);

    timer.SetInterval(10);
    EXPECT_TRUE(ticks.wait(1000));
    timer.SetEnabled(false);
    const auto seen = ticks.count();
    QTest::qWait(50);
    EXPECT_EQ(ticks.count(), seen);
}

TEST(LoadAndUnload, FailedWinsockStartShowsOneMessageAndRunsNoStartUpStep) {
    platform::SetWSAStartupFailure(WSASYSNOTREADY);
    MessageBoxWatcher watcher;
    bool loaded = true;
    testing::internal::CaptureStderr();
    {
        frmWinsock form;
        loaded = form.Load();
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(form.mooinfo->toPlainText().isEmpty());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    platform::SetWSAStartupFailure(0);

    EXPECT_FALSE(loaded);
    EXPECT_EQ(watcher.seen, QStringList{"Norvane|Problem with Winsock - Network"});
    // Its first line; Qt's offscreen platform may add notes of its own after it.
    EXPECT_EQ(said.substr(0, said.find('\n') + 1),
              "norvane: Winsock did not start (error 10091)\n");
    EXPECT_EQ(platform::WinsockUsers(), 0);
}

TEST(LoadAndUnload, UnloadReleasesWinsockOnceWhicheverWayTheWindowGoes) {
    ASSERT_EQ(platform::WinsockUsers(), 0);
    {
        frmWinsock form;
        ASSERT_TRUE(form.Load());
        EXPECT_EQ(platform::WinsockUsers(), 1);
        form.show();
        form.close();
        EXPECT_EQ(platform::WinsockUsers(), 0);
        form.Unload();
        EXPECT_EQ(platform::WinsockUsers(), 0);
    }
    // A second window still around proves the first cleaned up only its own start-up.
    frmWinsock other;
    ASSERT_TRUE(other.Load());
    {
        frmWinsock form;
        ASSERT_TRUE(form.Load());
        EXPECT_EQ(platform::WinsockUsers(), 2);
    }
    EXPECT_EQ(platform::WinsockUsers(), 1);
    other.Unload();
    EXPECT_EQ(platform::WinsockUsers(), 0);
}

}  // namespace
