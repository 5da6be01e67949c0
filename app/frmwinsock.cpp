#include "app/frmwinsock.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include "about/mascot.h"
#include "about/terms.h"
#include "app/layout.h"
#include "app/tabpage.h"
#include "assets/mascot_picture.h"
#include "lookup/lookup.h"
#include "ping/commands.h"
#include "platform/controls/controls.h"
#include "whois/whois.h"

namespace {

QWidget* MakeControl(const layout::Control& row, QWidget* page) {
    using layout::Kind;
    QWidget* control = nullptr;
    switch (row.kind) {
        case Kind::Label: {
            auto* label = new VbLabel(QString::fromLatin1(row.text), page);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            if ((row.settings & (layout::Font24 | layout::Font12)) != 0) {
                QFont font = label->font();
                font.setPointSize((row.settings & layout::Font24) != 0 ? 24 : 12);
                font.setWeight(QFont::Normal);
                label->setFont(font);
            }
            control = label;
            break;
        }
        case Kind::TextBox:
            if (qstrcmp(row.name, "txtWinsock") == 0) {
                // The whois output: a box of its own, for replies of many megabytes.
                auto* box = new whois::OutputBox(page);
                box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                control = box;
            } else if ((row.settings & (layout::MultiLine | layout::VerticalScrollBar)) != 0) {
                auto* box = new QPlainTextEdit(QString::fromLatin1(row.text), page);
                box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                box->setVerticalScrollBarPolicy((row.settings & layout::VerticalScrollBar) != 0
                                                    ? Qt::ScrollBarAlwaysOn
                                                    : Qt::ScrollBarAlwaysOff);
                if ((row.settings & layout::ReadOnly) != 0) {
                    box->setReadOnly(true);
                    box->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                                 Qt::TextSelectableByKeyboard);
                }
                box->setTabChangesFocus(true);
                control = box;
            } else {
                // Given its text once it has the window's font: a text given to the
                // constructor is laid out in the default font first, for nothing.
                auto* box = new QLineEdit(page);
                box->setText(QString::fromLatin1(row.text));
                if ((row.settings & layout::MaxLength3) != 0) {
                    box->setMaxLength(3);
                } else if ((row.settings & layout::MaxLength1) != 0) {
                    box->setMaxLength(1);
                }
                control = box;
            }
            break;
        case Kind::Button: {
            auto* button = new CommandButton(QString::fromLatin1(row.text), page);
            button->setAutoDefault(false);
            control = button;
            break;
        }
        case Kind::PictureBox: {
            // The mascot's pictures show its background where they are empty.
            auto* picture = new PictureBox(page);
            picture->SetBackColor(assets::MascotBackground());
            control = picture;
            break;
        }
    }
    control->setObjectName(QString::fromLatin1(row.name));
    control->setProperty("TabIndex", row.tabIndex);
    if ((row.settings & layout::Hidden) != 0) {
        control->hide();
    }
    return control;
}

// A label of one word cannot wrap; where our font is wider than the design's it grows to
// the right rather than cut the word.
int OneWordWidth(const QLabel& label) {
    if (label.text().contains(QLatin1Char(' '))) {
        return 0;
    }
    return label.fontMetrics().horizontalAdvance(label.text()) + 1;
}

// Names for screen readers, and each describing label tied to its box.
void NameControls(QWidget& form) {
    for (const layout::Accessible& row : layout::AccessibleNames()) {
        auto* control = form.findChild<QWidget*>(QString::fromLatin1(row.control));
        auto* label = row.label != nullptr ? form.findChild<QLabel*>(QString::fromLatin1(row.label))
                                           : nullptr;
        if (label != nullptr) {
            label->setBuddy(control);
        }
        if (row.name == nullptr) {
            control->setAccessibleName(label->text());
            continue;
        }
        control->setAccessibleName(QString::fromUtf8(row.name));
        if (label != nullptr && label->text() != control->accessibleName()) {
            control->setAccessibleDescription(label->text());
        }
    }
}

// What the mascot's commands work on.
Moodule::Tab AboutTab(frmWinsock& form) {
    return {form.Picture1, form.Picture2, form.Picture3, form.Timer1,
            form.Timer2,   &form.Mascot,  &form};
}

template <typename T>
T* Find(QWidget* form, const char* name) {
    T* control = form->findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT(control != nullptr);
    return control;
}

}  // namespace

frmWinsock::frmWinsock(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmWinsock"));
    setWindowTitle(QStringLiteral("Norvane"));
    setWindowIcon(assets::NorvaneIcon());
    QFont font(QStringLiteral("Liberation Sans"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    // The design fixes every control's place, so the window keeps its size.
    setFixedSize(layout::Pixels(layout::kClientWidth), layout::Pixels(layout::kClientHeight));

    CreateControls();
    NameControls(*this);
    BindControls();
    ConnectEvents();
}

frmWinsock::~frmWinsock() {
    if (life_ == Life::Running) {
        Unload();
    }
}

void frmWinsock::CreateControls() {
    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setProperty("TabIndex", 0);
    SSTab1->setGeometry(layout::Pixels(layout::kTabLeft), layout::Pixels(layout::kTabTop),
                        layout::Pixels(layout::kTabWidth), layout::Pixels(layout::kTabHeight));
    SSTab1->tabBar()->setExpanding(true);
    SSTab1->setUsesScrollButtons(false);

    std::vector<QWidget*> focusOrder(64, nullptr);
    for (const layout::Tab& tab : layout::Tabs()) {
        auto* page = new TabPage(SSTab1);
        for (const layout::Control& row : tab.controls) {
            QWidget* control = MakeControl(row, page);
            QRect place(layout::Pixels(row.left), layout::Pixels(row.top),
                        layout::Pixels(row.width), layout::Pixels(row.height));
            if (auto* label = qobject_cast<VbLabel*>(control)) {
                place.setWidth(std::max(place.width(), OneWordWidth(*label)));
            }
            page->Place(control, place);
            if (row.kind != layout::Kind::Label) {
                focusOrder.at(static_cast<std::size_t>(row.tabIndex)) = control;
            }
        }
        SSTab1->addTab(page, QString::fromLatin1(tab.caption));
    }
    SSTab1->setCurrentIndex(layout::kOpeningTab);

    QWidget* previous = nullptr;
    for (QWidget* control : focusOrder) {
        if (control != nullptr && control->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr) {
                setTabOrder(previous, control);
            }
            previous = control;
        }
    }

    Timer1 = new VbTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->SetInterval(0);
    Timer2 = new VbTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->SetInterval(3000);
}

void frmWinsock::BindControls() {
    Label8 = Find<VbLabel>(this, "Label8");
    Label6 = Find<VbLabel>(this, "Label6");
    localhostname = Find<QLineEdit>(this, "localhostname");
    Label7 = Find<VbLabel>(this, "Label7");
    localhostip = Find<QLineEdit>(this, "localhostip");
    GetLocalInfo = Find<QPushButton>(this, "GetLocalInfo");

    Label9 = Find<VbLabel>(this, "Label9");
    Label1 = Find<VbLabel>(this, "Label1");
    RemoteHostName = Find<QLineEdit>(this, "RemoteHostName");
    RemoteIP = Find<QPushButton>(this, "RemoteIP");
    Label2 = Find<VbLabel>(this, "Label2");
    RemoteHostIP = Find<QLineEdit>(this, "RemoteHostIP");
    RemoteHost = Find<QPushButton>(this, "RemoteHost");

    Label10 = Find<VbLabel>(this, "Label10");
    pingname = Find<QPushButton>(this, "pingname");
    hostname = Find<QLineEdit>(this, "hostname");
    pingit = Find<QPushButton>(this, "pingit");
    one = Find<QLineEdit>(this, "one");
    two = Find<QLineEdit>(this, "two");
    three = Find<QLineEdit>(this, "three");
    four = Find<QLineEdit>(this, "four");
    results = Find<QPlainTextEdit>(this, "results");
    dot = Find<QLineEdit>(this, "dot");

    Label3 = Find<VbLabel>(this, "Label3");
    DomainName = Find<QLineEdit>(this, "DomainName");
    txtWinsock = Find<whois::OutputBox>(this, "txtWinsock");
    Label4 = Find<VbLabel>(this, "Label4");
    txtServer = Find<QLineEdit>(this, "txtServer");
    txtPort = Find<QLineEdit>(this, "txtPort");
    Label14 = Find<VbLabel>(this, "Label14");
    Label5 = Find<VbLabel>(this, "Label5");
    cmdConnect = Find<QPushButton>(this, "cmdConnect");
    unix2dos = Find<QPushButton>(this, "unix2dos");

    Picture1 = Find<PictureBox>(this, "Picture1");
    Picture2 = Find<PictureBox>(this, "Picture2");
    Picture3 = Find<PictureBox>(this, "Picture3");
    Label12 = Find<VbLabel>(this, "Label12");
    Label11 = Find<VbLabel>(this, "Label11");
    Label13 = Find<VbLabel>(this, "Label13");
    mooinfo = Find<QPlainTextEdit>(this, "mooinfo");
}

void frmWinsock::ConnectEvents() {
    const lookup::LocalInfoTab localInfo{localhostname, localhostip};
    const lookup::DnsTab dns{RemoteHostName, RemoteHostIP};
    connect(GetLocalInfo, &QPushButton::clicked, this,
            [localInfo] { lookup::GetLocalInfoClick(localInfo); });
    connect(RemoteIP, &QPushButton::clicked, this, [dns] { lookup::RemoteIPClick(dns); });
    connect(RemoteHost, &QPushButton::clicked, this, [dns] { lookup::RemoteHostClick(dns); });
    const Module1::Tab ping{one, two, three, four, dot, hostname, results, &PingReply};
    connect(pingit, &QPushButton::clicked, this, [ping] { Module1::PingItClick(ping); });
    connect(pingname, &QPushButton::clicked, this, [ping] { Module1::PingNameClick(ping); });
    WhoisClient = new whois::Client({DomainName, txtServer, txtPort, txtWinsock, cmdConnect}, this);
    connect(cmdConnect, &QPushButton::clicked, this,
            [this] { whois::cmdConnectClick(*WhoisClient); });
    connect(unix2dos, &QPushButton::clicked, this, [this] { whois::unix2dosClick(*WhoisClient); });
    connect(Label7, &VbLabel::clicked, this, [this] { Moodule::ShowTermsWithNotice(mooinfo); });
    const Moodule::Tab about = AboutTab(*this);
    for (PictureBox* picture : {Picture1, Picture2, Picture3}) {
        connect(picture, &PictureBox::clicked, this, [about] { Moodule::ToggleMascot(about); });
    }
    connect(Timer1, &VbTimer::Timer, this, [about] { Moodule::MascotFrameStep(about); });
    connect(Timer2, &VbTimer::Timer, this, [] { Moodule::PlayMascotSound(); });
}

bool frmWinsock::Load() {
    if (const int error = WSAStartup(257, &wsaData); error != 0) {
        std::fprintf(stderr, "norvane: Winsock did not start (error %d)\n", error);
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Norvane"),
                        QStringLiteral("Problem with Winsock - Network"), QMessageBox::Ok, this);
        box.exec();
        life_ = Life::Running;
        Unload();
        return false;
    }
    life_ = Life::Running;
    whois::InstallNotifyHook(*WhoisClient);
    if (!Moodule::LoadMascotSprite(AboutTab(*this))) {
        // The program ends at once; nothing of the unload runs.
        life_ = Life::Ended;
        return false;
    }
    Moodule::ShowTerms(mooinfo);
    return true;
}

void frmWinsock::Unload() {
    if (life_ != Life::Running) {
        return;
    }
    life_ = Life::Ended;
    whois::CloseWhoisSocket();
    WSACleanup();
}

void frmWinsock::closeEvent(QCloseEvent* event) {
    Unload();
    event->accept();
}

QString whois::OutputText(frmWinsock& form) {
    return form.WhoisClient->OutputText();
}
