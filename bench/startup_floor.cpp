// The floor for start-up: the least Qt program with a window of the same size holding a
// five-tab QTabWidget, quitting after its first painted frame.

#include <QApplication>
#include <QTabWidget>
#include <QWidget>

#include "bench/first_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(411, 358);
    auto* tabs = new QTabWidget(&window);
    tabs->setGeometry(4, 12, 401, 341);
    for (const char* caption : {"Local Info", "IP / DNS", "Ping", "Whois", "About"}) {
        tabs->addTab(new QWidget, QString::fromLatin1(caption));
    }
    tabs->setCurrentIndex(4);
    new bench::FirstFrameReporter(&window);
    window.show();
    return QApplication::exec();
}
