#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include "app/frmwinsock.h"

namespace {

const char kHelp[] =
    "Usage: norvane [--help | --version]\n"
    "Norvane shows this computer's host name and address, looks up host names and\n"
    "addresses, pings a host and asks a whois server, all in one window.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "Qt's own options, such as -platform and -style, are accepted as well.\n";

enum class Request { Run, Help, Version, Wrong };

// Qt's own options, which QApplication takes out of the arguments when it starts. They are
// known here too, so that the command line is judged before Qt asks for a display: without
// one, Qt's platform start would abort the program first.
constexpr const char* kQtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme",
    "plugin",      "qmljsdebugger",      "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",
    "display",     "geometry",           "style",
    "stylesheet"};
constexpr const char* kQtSwitches[] = {"reverse", "widgetcount"};

// Single-dash words are read as whole options, the way Qt reads its own (-platform, -style).
Request ReadCommandLine(const QStringList& arguments, QString* error) {
    if (arguments.size() <= 1) {
        return Request::Run;  // the usual start, with nothing to read
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (const char* name : kQtOptionsWithValue) {
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    }
    for (const char* name : kQtSwitches) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
    }
    const bool understood = parser.parse(arguments);
    if (parser.isSet(help)) {
        return Request::Help;
    }
    if (parser.isSet(version)) {
        return Request::Version;
    }
    if (!understood) {
        *error = parser.errorText();
        return Request::Wrong;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
        return Request::Wrong;
    }
    return Request::Run;
}

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    // The command line is answered before Qt looks for a display, so that it works anywhere.
    QString error;
    switch (ReadCommandLine(Arguments(argc, argv), &error)) {
        case Request::Help:
            std::fputs(kHelp, stdout);
            return 0;
        case Request::Version:
            std::printf("Norvane %s\n", NORVANE_VERSION);
            return 0;
        case Request::Wrong:
            std::fprintf(stderr, "norvane: %s Try 'norvane --help'.\n", qPrintable(error));
            return 2;
        case Request::Run:
            break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane"));
    QApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(NORVANE_APP_ID));

    frmWinsock form;
    if (!form.Load()) {
        // The user has been told why in a message box, and on standard error.
        return 1;
    }
    form.show();
    // A close ends a name-service wait at once, and the program then ends without waiting for
    // the worker thread that still sits in the resolver: the worker owns its inputs and its
    // result and touches nothing of the window, of Qt or of this program's static objects, so
    // exit may run and end the process around it.
    return QApplication::exec();
}
