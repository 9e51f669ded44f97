#include "application.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStyleFactory>
#include <cstdio>

namespace {

struct Options {
    QCommandLineOption folder{QStringLiteral("folder"),
                              QStringLiteral("Work in DIR (created if missing, ~ is the home folder): the "
                                             "recent-connection files are kept there."),
                              QStringLiteral("DIR")};
};

void describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(
        QStringLiteral("Control panel for pulse motor controllers over the network or a USB serial port.\n"
                       "The recent-connection files are kept in the working folder."));
    // Qt's own single-dash options (-reverse, -platformtheme, ...) stay whole words, never read as
    // runs of one-letter options such as -v or -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(options.folder);
}

QString expandHome(const QString& path) {
    if (path == u'~') {
        return QDir::homePath();
    }
    if (path.startsWith(QStringLiteral("~/"))) {
        return QDir::homePath() + path.mid(1);
    }
    return path;
}

// --help, --version and --folder are dealt with before the window system starts, so the first two
// work without a display. Qt's own options (-platform, -style, ...) are not known yet here: an
// unknown option is only an error once QApplication has taken its own.
int beforeWindowSystem(int argc, char* argv[]) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("motor-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PANEL_VERSION));
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("help"))) {
        parser.showHelp(0);
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parser.showVersion();
    }
    if (parser.isSet(options.folder)) {
        const QString folder = expandHome(parser.value(options.folder));
        if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
            std::fprintf(stderr, "motor-panel: cannot work in the folder %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const int failed = beforeWindowSystem(argc, argv)) {
        return failed;
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("motor-panel"));
    QApplication::setApplicationVersion(QStringLiteral(PANEL_VERSION));
    // No display name: on X11 Qt appends it to every window title, and each window's title is
    // its own, exactly.
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    parser.process(qapp);
    // One style everywhere, so the panel's colours look the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Application app;
    // "Quit" ends the program at once: exit() leaves the event loop without asking the windows,
    // so the main window's close guard does not apply to it.
    QObject::connect(
        &app, &Application::quitRequested, &qapp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    app.window.show();
    return QApplication::exec();
}
