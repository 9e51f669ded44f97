// Replays the fuzz seed corpus and every input the fuzzers ever found (fuzz/regressions) through
// the fuzz targets' own entry points, so a fixed finding stays fixed in the ordinary suite (and
// under the sanitizers in `make test SANITIZE=1`).
#include "fuzzentries.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <functional>

class TstFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
};

void TstFuzzRegressions::replay_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    int rows = 0;
    for (const QString& target :
         {QStringLiteral("fuzz_replies"), QStringLiteral("fuzz_tablefile"), QStringLiteral("fuzz_recentlist"),
          QStringLiteral("fuzz_scpi"), QStringLiteral("fuzz_settings")}) {
        for (const char* kind : {"corpus", "regressions"}) {
            const QDir dir(QStringLiteral(FUZZ_DATA_DIR "/%1/%2").arg(QLatin1String(kind), target));
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
                QTest::addRow("%s/%s/%s", kind, qPrintable(target), qPrintable(name))
                    << target << dir.filePath(name);
                ++rows;
            }
        }
    }
    QVERIFY2(rows > 0, "no corpus found under " FUZZ_DATA_DIR);
}

void TstFuzzRegressions::replay() {
    QFETCH(QString, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray input = file.readAll();
    const std::function<QString(QByteArrayView)> entry =
        target == QLatin1String("fuzz_replies")     ? FuzzEntry::Replies
        : target == QLatin1String("fuzz_tablefile") ? FuzzEntry::TableFile
        : target == QLatin1String("fuzz_scpi")      ? FuzzEntry::ScpiLine
        : target == QLatin1String("fuzz_settings")  ? FuzzEntry::SettingsFiles
                                                    : FuzzEntry::RecentList;
    const QString problem = entry(input);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TstFuzzRegressions)
#include "tst_fuzzregressions.moc"
