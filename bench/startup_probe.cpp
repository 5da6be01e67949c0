// Does what the program's main() does, and quits after the window's first painted frame.

#include <QApplication>

#include "app/frmwinsock.h"
#include "bench/first_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane"));
    frmWinsock form;
    if (!form.Load()) {
        return 1;
    }
    new bench::FirstFrameReporter(&form);
    form.show();
    return QApplication::exec();
}
