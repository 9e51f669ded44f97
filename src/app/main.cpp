#include "application.h"
#include "automationserver.h"
#include "linkrequest.h"
#include "quitsignals.h"
#include "runtimefolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QStyleFactory>
#include <cstdio>
#include <optional>

namespace {

struct Options {
    QCommandLineOption folder{QStringLiteral("folder"),
                              QStringLiteral("Work in DIR (created if missing, ~ is the home folder): the "
                                             "recent-connection files are kept there."),
                              QStringLiteral("DIR")};
    QCommandLineOption automation{QStringLiteral("automation"),
                                  QStringLiteral("Serve lab scripts (SCPI) on the loopback addresses at PORT "
                                                 "(default 5025; 0 picks a free port)."),
                                  QStringLiteral("PORT")};
    QCommandLineOption tokenFile{QStringLiteral("automation-token-file"),
                                 QStringLiteral("Write the automation port's token to PATH (default: "
                                                "motor-panel-automation.token in $XDG_RUNTIME_DIR or, "
                                                "where that is unset or unfit, in "
                                                "motor-panel-<uid>, a folder for the user alone in "
                                                "$TMPDIR or /tmp)."),
                                 QStringLiteral("PATH")};
    QCommandLineOption connect{QStringLiteral("connect"),
                               QStringLiteral("Open the session at start, as the Connect dialog would: "
                                              "lan:HOST[:PORT] (port 7777 unless given) or usb:PORT (a "
                                              "COM number or a device path). Why a connect failed "
                                              "is said on standard error and in the status bar; the "
                                              "panel runs on."),
                               QStringLiteral("LINK")};
    QCommandLineOption reconnect{QStringLiteral("reconnect"),
                                 QStringLiteral("Open a session that the link lost (or a --connect that "
                                                "failed) again every SECONDS (1 to 3600) until the "
                                                "controller answers; the link's boxes are told in the "
                                                "status bar instead of waiting for an answer."),
                                 QStringLiteral("SECONDS")};
};

constexpr int kMaxReconnectSeconds = 3600;

constexpr const char* kDefaultAutomationPort = "5025";

// "--automation" takes its port optionally: given alone (or before another option) it means the
// default port.
QStringList withAutomationPort(QStringList args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--automation") &&
            (i + 1 == args.size() || args[i + 1].startsWith(u'-'))) {
            args[i] = QStringLiteral("--automation=") + QLatin1String(kDefaultAutomationPort);
        }
    }
    return args;
}

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
    parser.addOption(options.automation);
    parser.addOption(options.tokenFile);
    parser.addOption(options.connect);
    parser.addOption(options.reconnect);
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

// The parser shows every value as required; the automation port is not.
QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("--automation <PORT>"), QStringLiteral("--automation [PORT]"));
    return text;
}

// --help, --version and --folder are dealt with before the window system starts, so the first two
// work without a display. Qt's own options (-platform, -style, ...) are not known yet here: an
// unknown option is only an error once QApplication has taken its own. An exit code when the
// program ends here.
std::optional<int> beforeWindowSystem(int argc, char* argv[]) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("motor-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PANEL_VERSION));
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    parser.parse(withAutomationPort(QCoreApplication::arguments()));
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(helpText(parser)), stdout);
        return 0;
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
    // Qt looks at the runtime folder while it starts; where XDG_RUNTIME_DIR is unset or unfit it
    // complains on standard error and settles on a folder of its own. Naming ours first keeps it
    // quiet, and the token goes to the one folder either way.
    QString error;
    if (const QString runtime = runtimeFolder(&error); !runtime.isEmpty()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    } else if (parser.isSet(options.automation) && !parser.isSet(options.tokenFile)) {
        std::fprintf(stderr, "motor-panel: automation: %s\n", qPrintable(error));
        return 1;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> ended = beforeWindowSystem(argc, argv)) {
        return *ended;
    }
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("motor-panel"));
    QApplication::setApplicationVersion(QStringLiteral(PANEL_VERSION));
    // No display name: on X11 Qt appends it to every window title, and each window's title is
    // its own, exactly.
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    parser.process(withAutomationPort(QCoreApplication::arguments()));
    // One style everywhere, so the panel's colours look the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // Caught from here on: a stop that comes once the token is written must find the handler.
    QuitSignals stops;
    Application app;
    QObject::connect(&stops, &QuitSignals::received, &app, &Application::quit);
    if (parser.isSet(options.automation)) {
        bool ok = false;
        const uint port = parser.value(options.automation).toUInt(&ok);
        QString path = parser.value(options.tokenFile);
        QString error;
        if (!ok || port > 65535) {
            std::fprintf(stderr, "motor-panel: --automation: a port number from 0 to 65535 expected\n");
            return 1;
        }
        if (path.isEmpty()) {
            const QString folder = runtimeFolder(&error);
            if (folder.isEmpty()) {
                std::fprintf(stderr, "motor-panel: automation: %s\n", qPrintable(error));
                return 1;
            }
            path = folder + QStringLiteral("/motor-panel-automation.token");
        }
        if (!app.startAutomation(quint16(port), expandHome(path), &error)) {
            std::fprintf(stderr, "motor-panel: automation: %s\n", qPrintable(error));
            return 1;
        }
        std::fprintf(stderr, "automation: listening on 127.0.0.1:%u, token in %s\n",
                     unsigned(app.automation()->port()), qPrintable(app.automation()->tokenPath()));
        std::fflush(stderr);
    }
    std::optional<LinkRequest> link;
    if (parser.isSet(options.connect)) {
        link = LinkRequest::parse(parser.value(options.connect));
        if (!link) {
            std::fprintf(stderr, "motor-panel: --connect: lan:HOST[:PORT] or usb:PORT expected\n");
            return 1;
        }
    }
    if (parser.isSet(options.reconnect)) {
        bool ok = false;
        const uint seconds = parser.value(options.reconnect).toUInt(&ok);
        if (!ok || seconds < 1 || seconds > kMaxReconnectSeconds) {
            std::fprintf(stderr, "motor-panel: --reconnect: a number of seconds from 1 to %d expected\n",
                         kMaxReconnectSeconds);
            return 1;
        }
        app.keeper.setReconnectSeconds(int(seconds));
    }
    // A service's journal keeps what happened to the link, with the status bar nobody watches.
    QObject::connect(&app.keeper, &LinkKeeper::note, &app, [](const QString& text) {
        std::fprintf(stderr, "motor-panel: %s\n", qPrintable(text));
        std::fflush(stderr);
    });
    // "Quit" ends the program at once: exit() leaves the event loop without asking the windows,
    // so the main window's close guard does not apply to it. A stop from outside (SIGTERM,
    // SIGINT) ends it the same way, and the token file goes with the automation port.
    QObject::connect(
        &app, &Application::quitRequested, &qapp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    app.window.show();
    if (link) {
        app.keeper.open(*link, LinkKeeper::Source::StartUp);
    }
    return QApplication::exec();
}
