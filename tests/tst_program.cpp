// The motor-panel program as a lab script or a service starts it: its help, which needs no
// display, and how it ends when stopped from outside, where its automation token goes and that it
// goes away with the panel.
#include <sys/stat.h>
#include <unistd.h>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

class TstProgram : public QObject {
    Q_OBJECT
private slots:
    void helpShowsThePortAsOptional();
    void stoppedFromOutside_data();
    void stoppedFromOutside();
};

void TstProgram::helpShowsThePortAsOptional() {
    QProcess panel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(MOTOR_PANEL), {QStringLiteral("--help")});
    QVERIFY(panel.waitForFinished(10000));
    QCOMPARE(panel.exitCode(), 0);
    const QByteArray help = panel.readAllStandardOutput();
    QVERIFY2(help.contains("\n  --automation [PORT]  "), help.constData());
    QVERIFY2(help.contains("motor-panel-<uid>"), help.constData());
}

void TstProgram::stoppedFromOutside_data() {
    QTest::addColumn<int>("signal");  // 0: the panel refuses to start
    QTest::addColumn<bool>("pathGiven");
    QTest::addColumn<int>("runtimeMode");   // XDG_RUNTIME_DIR, a folder of this mode; -1: unset
    QTest::addColumn<int>("fallbackMode");  // the private folder, made beforehand with this mode
    QTest::addColumn<QString>("tokenIn");
    QTest::newRow("SIGTERM") << SIGTERM << true << 0700 << -1 << "given";
    QTest::newRow("SIGINT") << SIGINT << true << 0700 << -1 << "given";
    QTest::newRow("runtime folder") << SIGTERM << false << 0700 << -1 << "runtime";
    QTest::newRow("no runtime folder") << SIGTERM << false << -1 << -1 << "fallback";
    QTest::newRow("runtime folder open to its group, private one there")
        << SIGINT << false << 0710 << 0700 << "fallback";
    QTest::newRow("private folder open to its group") << 0 << false << -1 << 0710 << "";
}

// The token is written where it belongs, and a stop ends the panel as Quit does: exit code 0, the
// token file gone. Qt's complaints about the runtime folder never reach the user.
void TstProgram::stoppedFromOutside() {
    QFETCH(int, signal);
    QFETCH(bool, pathGiven);
    QFETCH(int, runtimeMode);
    QFETCH(int, fallbackMode);
    QFETCH(QString, tokenIn);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tmp = dir.filePath(QStringLiteral("tmp"));
    const QString runtime = dir.filePath(QStringLiteral("runtime"));
    const QString fallback = tmp + QStringLiteral("/motor-panel-") + QString::number(::geteuid());
    QVERIFY(QDir().mkpath(tmp));
    for (const auto& [folder, mode] : {std::pair{runtime, runtimeMode}, std::pair{fallback, fallbackMode}}) {
        const QByteArray path = QFile::encodeName(folder);
        QVERIFY(mode < 0 ||
                (::mkdir(path.constData(), 0700) == 0 && ::chmod(path.constData(), mode_t(mode)) == 0));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    if (runtimeMode >= 0) {
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    }
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString name = QStringLiteral("/motor-panel-automation.token");
    const QString token = tokenIn == QStringLiteral("runtime")    ? runtime + name
                          : tokenIn == QStringLiteral("fallback") ? fallback + name
                                                                  : dir.filePath(QStringLiteral("token"));
    QStringList args{QStringLiteral("--automation"), QStringLiteral("0")};
    if (pathGiven) {
        args << QStringLiteral("--automation-token-file") << token;
    }

    QProcess panel;
    panel.setProcessEnvironment(env);
    panel.setWorkingDirectory(dir.path());
    panel.start(QStringLiteral(MOTOR_PANEL), args);
    QByteArray said;
    QVERIFY(QTest::qWaitFor(
        [&] {
            said += panel.readAllStandardError();
            return said.contains("automation: listening") || panel.state() == QProcess::NotRunning;
        },
        20000));
    if (signal == 0) {
        QCOMPARE(panel.state(), QProcess::NotRunning);
        said += panel.readAllStandardError();
        QCOMPARE(panel.exitCode(), 1);
        QVERIFY2(said.contains("has mode 710, not 700"), said.constData());
        QVERIFY(!QFile::exists(fallback + name));
    } else {
        QVERIFY2(said.contains("token in " + QFile::encodeName(token) + '\n'), said.constData());
        QVERIFY(QFile::exists(token));
        ::kill(panel.processId(), signal);
        QVERIFY(panel.waitForFinished(10000));
        said += panel.readAllStandardError();
        QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(panel.exitCode(), 0);
        QVERIFY(!QFile::exists(token));
    }
    QVERIFY2(!said.contains("XDG_RUNTIME_DIR"), said.constData());
}

QTEST_MAIN(TstProgram)
#include "tst_program.moc"
