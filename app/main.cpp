#include <QApplication>

#include "app/frmwinsock.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane"));
    frmWinsock form;
    if (!form.Load()) {
        return 0;
    }
    form.show();
    return QApplication::exec();
}
