// The floor for start-up: the same window as Norvane's, built by a plain Qt program. It has the
// same controls with the same texts, fonts, places, tab order and names for screen readers,
// opens on the same tab, and reads the mascot's sprite the same way (a BMP, without asking the
// image plugins). It takes the window's data from the program (the layout tables, the terms
// text and the icon, which the program draws), so that both show the same things; only the
// building is its own. bench_startup checks that both windows come out the same, pixel for
// pixel. Without the sprite it stops, as the program does.

#include <cstdio>
#include <vector>

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "about/terms.h"
#include "app/layout.h"
#include "assets/mascot_picture.h"

namespace {

// A tab whose controls are placed relative to the tab control's corner, as the design
// measures them, wherever the tab strip leaves the page.
class Page : public QWidget {
public:
    explicit Page(QWidget* tabs) : QWidget(tabs), tabs_(tabs) {}
    void Place(QWidget* control, const QRect& place) {
        places_.emplace_back(control, place);
        control->setGeometry(place);
    }

protected:
    void resizeEvent(QResizeEvent*) override { PlaceAll(); }
    void showEvent(QShowEvent*) override { PlaceAll(); }

private:
    void PlaceAll() {
        const QPoint origin = mapTo(tabs_, QPoint(0, 0));
        for (const auto& [control, place] : places_) {
            control->setGeometry(place.translated(-origin));
        }
    }
    QWidget* tabs_;
    std::vector<std::pair<QWidget*, QRect>> places_;
};

QWidget* MakeControl(const layout::Control& row, QWidget* page, const QPixmap& sprite) {
    QWidget* control = nullptr;
    switch (row.kind) {
        case layout::Kind::Label: {
            auto* label = new QLabel(QString::fromLatin1(row.text), page);
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
        case layout::Kind::TextBox:
            if ((row.settings & (layout::MultiLine | layout::VerticalScrollBar)) != 0) {
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
        case layout::Kind::Button: {
            auto* button = new QPushButton(QString::fromLatin1(row.text), page);
            button->setAutoDefault(false);
            control = button;
            break;
        }
        case layout::Kind::PictureBox: {
            // A sunken frame on the mascot's grey; the back and front ones hold the sprite.
            auto* picture = new QLabel(page);
            picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            picture->setLineWidth(2);
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            QPalette palette = picture->palette();
            palette.setColor(QPalette::Window, assets::MascotBackground());
            picture->setPalette(palette);
            picture->setAutoFillBackground(true);
            if (qstrcmp(row.name, "Picture2") != 0) {
                picture->setPixmap(sprite);
            }
            control = picture;
            break;
        }
    }
    control->setObjectName(QString::fromLatin1(row.name));
    if ((row.settings & layout::Hidden) != 0) {
        control->hide();
    }
    return control;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane"));

    QWidget window(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window.setWindowTitle(QStringLiteral("Norvane"));
    window.setWindowIcon(assets::NorvaneIcon());
    QFont font(QStringLiteral("Liberation Sans"), 8);
    font.setStyleHint(QFont::SansSerif);
    window.setFont(font);
    window.setFixedSize(layout::Pixels(layout::kClientWidth),
                        layout::Pixels(layout::kClientHeight));

    QImageReader reader(QCoreApplication::applicationDirPath() + QStringLiteral("/cbm.dll"), "bmp");
    reader.setAutoDetectImageFormat(false);
    const QImage sprite = reader.read();
    if (sprite.isNull()) {
        std::fprintf(stderr, "bench_startup_floor: no sprite beside the program\n");
        return 1;
    }
    const QPixmap spritePixmap = QPixmap::fromImage(sprite);

    auto* tabs = new QTabWidget(&window);
    tabs->setGeometry(layout::Pixels(layout::kTabLeft), layout::Pixels(layout::kTabTop),
                      layout::Pixels(layout::kTabWidth), layout::Pixels(layout::kTabHeight));
    tabs->tabBar()->setExpanding(true);
    tabs->setUsesScrollButtons(false);
    std::vector<QWidget*> focusOrder(64, nullptr);
    for (const layout::Tab& tab : layout::Tabs()) {
        auto* page = new Page(tabs);
        for (const layout::Control& row : tab.controls) {
            QWidget* control = MakeControl(row, page, spritePixmap);
            QRect place(layout::Pixels(row.left), layout::Pixels(row.top),
                        layout::Pixels(row.width), layout::Pixels(row.height));
            // A one-word label grows rather than cut its word.
            if (auto* label = qobject_cast<QLabel*>(control);
                label != nullptr && row.kind == layout::Kind::Label &&
                !label->text().contains(QLatin1Char(' '))) {
                place.setWidth(std::max(place.width(),
                                        label->fontMetrics().horizontalAdvance(label->text()) + 1));
            }
            page->Place(control, place);
            if (row.kind != layout::Kind::Label) {
                focusOrder.at(static_cast<std::size_t>(row.tabIndex)) = control;
            }
        }
        tabs->addTab(page, QString::fromLatin1(tab.caption));
    }
    tabs->setCurrentIndex(layout::kOpeningTab);
    QWidget* previous = nullptr;
    for (QWidget* control : focusOrder) {
        if (control != nullptr && control->focusPolicy() != Qt::NoFocus) {
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, control);
            }
            previous = control;
        }
    }
    for (const layout::Accessible& row : layout::AccessibleNames()) {
        auto* control = window.findChild<QWidget*>(QString::fromLatin1(row.control));
        auto* label = row.label != nullptr
                          ? window.findChild<QLabel*>(QString::fromLatin1(row.label))
                          : nullptr;
        if (label != nullptr) {
            label->setBuddy(control);
        }
        control->setAccessibleName(row.name != nullptr ? QString::fromUtf8(row.name)
                                                       : label->text());
        if (row.name != nullptr && label != nullptr && label->text() != row.name) {
            control->setAccessibleDescription(label->text());
        }
    }
    window.findChild<QPlainTextEdit*>(QStringLiteral("mooinfo"))
        ->setPlainText(Moodule::TermsText());
    // The mascot's two timers, at rest.
    QTimer frames;
    frames.setInterval(250);
    QTimer sound;
    sound.setInterval(3000);

    window.show();
    return QApplication::exec();
}
