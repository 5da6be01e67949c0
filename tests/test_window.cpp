// The window as it opens: every control in its place and state, the settings that differ from
// Qt's defaults, names for screen readers, the load and unload steps.

#include <functional>

#include <QAccessible>
#include <QSignalSpy>
#include <QTabBar>

#include "app/layout.h"
#include "tests/window_fixture.h"
#include "whois/output_box.h"

namespace {

// Where a control stands relative to the tab control, in pixels.
QRect PlaceInTabControl(frmWinsock& form, QWidget* control) {
    return QRect(control->mapTo(form.SSTab1, QPoint(0, 0)), control->size());
}

TEST(ShownWindow, EveryControlInItsPlaceWithTheDesignsSettingsAndReturnPressesButtons) {
    frmWinsock form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(std::tuple(form.windowTitle(), form.size(), form.SSTab1->geometry(),
                         form.SSTab1->currentIndex()),
              std::tuple("Norvane", QSize(411, 358), QRect(4, 12, 401, 341), 4));
    // Every tab visited once, so that each page is laid out as a person sees it; the last is
    // the one the window opened on.
    QStringList captions;
    for (int i = 0; i < form.SSTab1->count(); ++i) {
        form.SSTab1->setCurrentIndex(i);
        QCoreApplication::processEvents();
        captions << form.SSTab1->tabText(i);
        EXPECT_EQ(form.SSTab1->tabBar()->tabRect(i).top(), 0);  // one row
    }
    EXPECT_EQ(captions, QStringList({"Local Info", "IP / DNS", "Ping", "Whois", "About"}));

    int tab = 0;
    for (const layout::Tab& page : layout::Tabs()) {
        for (const layout::Control& row : page.controls) {
            SCOPED_TRACE(row.name);
            auto* control = form.findChild<QWidget*>(QString::fromLatin1(row.name));
            ASSERT_NE(control, nullptr);
            const char* text = qobject_cast<QPlainTextEdit*>(control) ? "plainText" : "text";
            EXPECT_EQ(control->property(text).toString(), QString::fromLatin1(row.text));
            EXPECT_EQ(control->property("TabIndex").toInt(), row.tabIndex);
            EXPECT_EQ(form.SSTab1->indexOf(control->parentWidget()), tab);
            const QRect place = PlaceInTabControl(form, control);
            EXPECT_EQ(place.topLeft(), QPoint(row.left / 15, row.top / 15));
            EXPECT_EQ(place.height(), row.height / 15);
            // A one-word label may grow to the right so that its word is never cut.
            EXPECT_GE(place.width(), row.width / 15);
            if (row.kind != layout::Kind::Label || QString(row.text).contains(' ')) {
                EXPECT_EQ(place.width(), row.width / 15);
            }
        }
        ++tab;
    }
    // One row of each tab checked by hand against the design.
    EXPECT_EQ(PlaceInTabControl(form, form.localhostip), QRect(24, 188, 185, 25));
    EXPECT_EQ(form.RemoteHostName->text(), "www.debian.org");
    EXPECT_EQ(PlaceInTabControl(form, form.four), QRect(204, 116, 29, 19));
    EXPECT_EQ(PlaceInTabControl(form, form.cmdConnect), QRect(32, 300, 121, 33));
    EXPECT_EQ(std::tuple(form.Label11->text(), form.Label11->font().pointSize(),
                         form.Label12->font().pointSize()),
              std::tuple("Byre Lane Software", 12, 24));
    // The frame timer rests at interval 0; the sound timer runs every 3 s until load.
    EXPECT_TRUE(form.Timer1->Enabled() && !form.Timer1->Ticking());
    EXPECT_TRUE(form.Timer2->Interval() == 3000 && form.Timer2->Ticking());

    // The settings that differ from Qt's defaults.
    form.SSTab1->setCurrentIndex(2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.dot->isVisible());
    for (QLineEdit* box : {form.dot, form.one, form.two, form.three, form.four}) {
        box->clear();
        QTest::keyClicks(box, "..345");
        EXPECT_EQ(box->text(), box == form.dot ? "." : "..3");
    }
    EXPECT_EQ(std::pair(form.results->verticalScrollBarPolicy(),
                        form.txtWinsock->verticalScrollBarPolicy()),
              std::pair(Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOn));
    EXPECT_TRUE(form.mooinfo->isReadOnly());
    EXPECT_TRUE(form.mooinfo->textInteractionFlags() & Qt::TextSelectableByKeyboard);

    // The still picture (the mascot at load) lies in front of the other two picture boxes.
    form.SSTab1->setCurrentIndex(4);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Picture3->parentWidget()->childAt(form.Picture3->geometry().center()),
              form.Picture3);
    EXPECT_TRUE(form.windowIcon().availableSizes().contains(QSize(16, 16)));

    // The design fixes every place, so a larger window moves nothing.
    const QRect before = PlaceInTabControl(form, form.mooinfo);
    form.showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.SSTab1->geometry(), QRect(4, 12, 401, 341));
    EXPECT_EQ(PlaceInTabControl(form, form.mooinfo), before);

    // Return and keypad Enter press the focused button as Space does: down while held, clicked
    // once when let go.
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        form.SSTab1->setCurrentWidget(button->parentWidget());
        button->setFocus();
        // The keys are tested here, not the commands. (Only `clicked`: a bare disconnect()
        // also drops the accessibility cache's watch for the button's end, and a later control
        // at the same address would be given the dead button's interface.)
        QObject::disconnect(button, &QPushButton::clicked, nullptr, nullptr);
        QSignalSpy clicks(button, &QPushButton::clicked);
        const std::string name = button->objectName().toStdString();
        for (const auto& [key, modifier] :
             {std::pair{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}}) {
            QTest::keyPress(form.windowHandle(), key, modifier);
            EXPECT_TRUE(button->isDown() && clicks.isEmpty()) << name << " " << key;
            QTest::keyRelease(form.windowHandle(), key, modifier);
            EXPECT_TRUE(!button->isDown() && clicks.count() == 1) << name << " " << key;
            clicks.clear();
        }
    }
}

// The tab key goes through the controls in the design's order, and screen readers name them.
TEST(Window, TabKeyFollowsTheDesignOrderAndScreenReadersHearANameForEveryControl) {
    frmWinsock form;
    // clang-format off
    const QStringList expected = {
        "localhostip", "localhostname", "GetLocalInfo", "RemoteHost", "RemoteIP",  "RemoteHostIP",
        "RemoteHostName", "pingit", "hostname", "results", "one", "two", "three", "four",
        "pingname", "dot", "DomainName", "unix2dos", "txtPort", "txtServer", "cmdConnect",
        "txtWinsock", "mooinfo"};
    // clang-format on
    QStringList chain;
    QWidget* widget = form.localhostip;
    for (int step = 0; step < 1000 && chain.size() < expected.size(); ++step) {
        if (expected.contains(widget->objectName()) && !chain.contains(widget->objectName())) {
            chain << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(chain, expected);

    // Every text box, picture box and button in the accessibility tree has a name; the mascot's
    // pictures are buttons that can be pressed; the hidden octet separator is left out.
    QStringList seen;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        QObject* object = node->object();
        if (qobject_cast<QLineEdit*>(object) || qobject_cast<QPlainTextEdit*>(object) ||
            qobject_cast<whois::OutputBox*>(object) || qobject_cast<PictureBox*>(object) ||
            qobject_cast<QPushButton*>(object)) {
            seen << object->objectName();
            EXPECT_FALSE(node->text(QAccessible::Name).isEmpty())
                << object->objectName().toStdString();
        }
        if (qobject_cast<PictureBox*>(object) != nullptr) {
            EXPECT_EQ(node->role(), QAccessible::Button) << object->objectName().toStdString();
            EXPECT_EQ(node->actionInterface()->actionNames().count(
                          QAccessibleActionInterface::pressAction()),
                      1);
        }
        for (int i = 0; i < node->childCount(); ++i) {
            EXPECT_EQ(node->indexOfChild(node->child(i)), i) << object->objectName().toStdString();
            walk(node->child(i));
        }
    };
    walk(QAccessible::queryAccessibleInterface(&form));
    EXPECT_EQ(seen.size(), 15 + 3 + 7);
    EXPECT_FALSE(seen.contains("dot"));
    QObject::disconnect(form.Picture3, &PictureBox::clicked, nullptr, nullptr);
    const QSignalSpy clicks(form.Picture3, &PictureBox::clicked);
    QAccessible::queryAccessibleInterface(form.Picture3)
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks.count(), 1);
    const auto said = [](QWidget* control, QAccessible::Text what) {
        return QAccessible::queryAccessibleInterface(control)->text(what);
    };
    EXPECT_EQ(std::tuple(said(form.one, QAccessible::Name), said(form.txtPort, QAccessible::Name),
                         said(form.txtServer, QAccessible::Description)),
              std::tuple("First octet", "Port", form.Label4->text()));
    EXPECT_EQ(form.Label7->buddy(), form.localhostip);
}

TEST(LoadAndUnload, AFailedStartShowsOneMessageAndAnUnloadReleasesWinsockOnce) {
    platform::SetWSAStartupFailure(WSASYSNOTREADY);
    MessageBoxCloser boxes;
    testing::internal::CaptureStderr();
    {
        frmWinsock form;
        EXPECT_FALSE(form.Load());
        EXPECT_TRUE(form.mooinfo->toPlainText().isEmpty());
    }
    const std::string said = testing::internal::GetCapturedStderr();
    platform::SetWSAStartupFailure(0);
    EXPECT_EQ(boxes.seen, QStringList{"Norvane|Problem with Winsock - Network"});
    // Its first line; Qt's offscreen platform may add notes of its own after it.
    EXPECT_EQ(said.substr(0, said.find('\n') + 1),
              "norvane: Winsock did not start (error 10091)\n");
    EXPECT_EQ(platform::WinsockUsers(), 0);

    // Unload releases Winsock once, whichever way the window goes.
    frmWinsock other;
    ASSERT_TRUE(other.Load());
    {
        frmWinsock form;
        ASSERT_TRUE(form.Load());
        EXPECT_EQ(platform::WinsockUsers(), 2);
        form.show();
        form.close();
        form.Unload();
        EXPECT_EQ(platform::WinsockUsers(), 1);
    }
    ASSERT_TRUE(frmWinsock().Load());  // and deleted
    EXPECT_EQ(platform::WinsockUsers(), 1);
    other.Unload();
    EXPECT_EQ(platform::WinsockUsers(), 0);
}

}  // namespace
