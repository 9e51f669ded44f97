#include "intervaltimer.h"
#include "memorytable.h"
#include "recordingmessages.h"
#include "tablecompare.h"
#include "tablefile.h"
#include "widgets.h"

#include <sys/resource.h>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

const QString kExample =
    QStringLiteral("PPM,100,-200,1000,2000,-1000,-2000,5000,5000,2500,2500,500,500,10,10,10,0,31,10,3B,00,");

// Channels A and B as kExample holds them, every field, flag and box; C and D are left alone.
void fillExample(MemoryTable& t) {
    const QStringList values{"100",  "-200", "1000", "2000", "-1000", "-2000", "5000", "5000",
                             "2500", "2500", "500",  "500",  "10",    "10",    "10",   "0"};
    for (int i = 0; i < values.size(); ++i) {
        t.setField(TableView::Position + i / 2, i % 2, values[i]);
    }
    for (int ch = 0; ch < 2; ++ch) {  // flag bytes 31 and 10
        t.setFlag(TableView::BacklashMode, ch, ch == 0);
        t.setFlag(TableView::DglsEnable, ch, true);
        t.setFlag(TableView::LsFastStop, ch, ch == 0);
    }
    for (int k = 0; k < 8; ++k) {  // masks 3B and 00
        t.setSwitchBox(TableView::LsEnable, k, (0x3B >> k) & 1);
        t.setSwitchBox(TableView::LsNc, k, false);
    }
    t.setSpeedUnit(TableView::Pps);
}

// Something in every field and box, so that a load shows what it cleared and what it stored.
void fillDistinct(MemoryTable& t, int seed) {
    for (int ch = 0; ch < 4; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            t.setField(f, ch, QStringLiteral("%1.%2.%3").arg(seed).arg(f).arg(ch));
        }
        t.setFlag(TableView::BacklashMode, ch, (ch + seed) % 2 == 0);
        t.setFlag(TableView::DglsEnable, ch, (ch + seed) % 3 == 0);
        t.setFlag(TableView::LsFastStop, ch, ch != seed % 4);
    }
    for (int k = 0; k < 16; ++k) {
        t.setSwitchBox(TableView::LsEnable, k, (k * 7 + seed) % 3 == 0);
        t.setSwitchBox(TableView::LsNc, k, (k * 5 + seed) % 2 == 0);
    }
}

}  // namespace

class TstTableFile : public QObject {
    Q_OBJECT

private slots:
    void init();
    void exampleLine();
    void fourChannelLine();
    void names_data();
    void names();
    void joinPath_data();
    void joinPath();
    void commaRefused_data();
    void commaRefused();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void roundTrip_data();
    void roundTrip();
    void codeHeaderOfFive();
    void lastLine_data();
    void lastLine();
    void loads_data();
    void loads();
    void loadDuringRead();

private:
    // The one box the last calls showed; every box of the table file has the same title.
    void expectBox(const QString& wanted, MessageSink::Icon icon = MessageSink::Icon::Information) {
        QCOMPARE(messages_.boxes.size(), 1);
        QVERIFY2(messages_.boxes[0].text.contains(wanted), qPrintable(messages_.boxes[0].text));
        QCOMPARE(messages_.boxes[0].title, kCautionTitle);
        QCOMPARE(messages_.boxes[0].icon, icon);
        messages_.boxes.clear();
    }

    bool load(TableView& table, const QString& name) {
        return TableFile::Load(table, dir_->path(), name, messages_, tmrTokei_, tmrWrite_);
    }

    std::unique_ptr<QTemporaryDir> dir_;
    RecordingMessages messages_;
    IntervalTimer tmrTokei_;
    IntervalTimer tmrWrite_;
};

void TstTableFile::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    messages_.boxes.clear();
    tmrTokei_.setInterval(0);
    tmrWrite_.setInterval(0);
}

void TstTableFile::exampleLine() {
    MemoryTable table;
    fillDistinct(table, 0);  // channels C and D get noise that must not leak into a 2-channel line
    fillExample(table);
    QCOMPARE(TableFile::BuildLine(table, false), kExample);
}

void TstTableFile::fourChannelLine() {
    MemoryTable table;
    for (int ch = 0; ch < 4; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            table.setField(f, ch, QString::number(f));
        }
    }
    table.setFlag(TableView::LsFastStop, 3, true);
    for (int k : {0, 1, 3}) {
        table.setSwitchBox(TableView::LsEnable, k, true);
    }
    table.setSwitchBox(TableView::LsNc, 15, true);
    table.setSpeedUnit(TableView::Code);
    const QString line = TableFile::BuildLine(table, true);
    QVERIFY(line.startsWith(QStringLiteral("COD4,1,1,1,1,2,2,2,2,")));
    QVERIFY(line.endsWith(QStringLiteral(",8,8,8,8,00,00,00,01,000B,8000,")));
    QCOMPARE(line.count(u','), 1 + 38);
}

void TstTableFile::names_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("message");  // empty: saved
    const QList<std::pair<const char*, const char*>> rows{
        {"table", "table.txt"},         {"TABLE.TXT", "TABLE.TXT"},     {"t.txt", "t.txt"},
        {"Table.Txt", "Table.Txt.txt"}, {"table.csv", "table.csv.txt"}, {":x", ":x.txt"}};
    for (const auto& [typed, saved] : rows) {
        QTest::newRow(typed) << typed << saved << QString();
    }
    const QString separator = QStringLiteral("folder separator");
    QTest::newRow("empty") << QString() << QString() << QStringLiteral("Input file name !");
    QTest::newRow("absolute") << QStringLiteral("OUTSIDE/t") << QString() << separator;
    QTest::newRow("sub-folder") << QStringLiteral("sub/x") << QString() << separator;
}

void TstTableFile::names() {
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QFETCH(QString, message);
    QTemporaryDir outside;
    typed.replace(QStringLiteral("OUTSIDE"), outside.path());
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("sub")));
    MemoryTable table;
    QCOMPARE(TableFile::Save(table, false, dir_->path(), typed, messages_),
             message.isEmpty() ? saved : typed);
    if (message.isEmpty()) {
        QVERIFY(messages_.boxes.isEmpty());
    } else {
        expectBox(message);
    }
    QStringList expected{QStringLiteral("sub")};
    expected << (message.isEmpty() ? QStringList{saved} : QStringList{});
    QStringList got = QDir(dir_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
    QVERIFY(QDir(dir_->filePath("sub")).isEmpty());
    QVERIFY(QDir(outside.path()).isEmpty());
}

void TstTableFile::joinPath_data() {
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("joined");
    const QString sep = QDir::separator();
    QTest::newRow("unix root") << "/" << QStringLiteral("/t.txt");
    QTest::newRow("drive root") << "C:" + sep << "C:" + sep + "t.txt";
    QTest::newRow("folder") << "C:" + sep + "data"
                            << "C:" + sep + "data" + sep + "t.txt";
    QTest::newRow("folder ending in slash") << "/home/u/" << QStringLiteral("/home/u/t.txt");
}

void TstTableFile::joinPath() {
    QFETCH(QString, dir);
    QTEST(TableFile::JoinPath(dir, "t.txt"), "joined");
}

void TstTableFile::commaRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("comma") << "1,5";
    QTest::newRow("line feed") << "15\n";
    QTest::newRow("carriage return") << "1\r5";
}

void TstTableFile::commaRefused() {
    QFETCH(QString, text);
    MemoryTable table;
    fillExample(table);
    const QByteArray old = QByteArray(5000, 'x') + "\r\nmore\r\n";
    QVERIFY(writeFile(dir_->filePath("t.txt"), old));
    table.setField(TableView::Rate, 1, text);
    TableFile::Save(table, false, dir_->path(), QStringLiteral("t.txt"), messages_);
    expectBox(QStringLiteral("CH B Rate holds a comma"));
    QCOMPARE(readAll(dir_->filePath("t.txt")), old);

    // Channels that are not saved do not matter; the longer old file is replaced whole.
    table.setField(TableView::Rate, 1, QStringLiteral("10"));
    table.setField(TableView::Rate, 2, text);
    TableFile::Save(table, false, dir_->path(), QStringLiteral("t"), messages_);
    QVERIFY(messages_.boxes.isEmpty());
    QCOMPARE(readAll(dir_->filePath("t.txt")), kExample.toUtf8() + "\r\n");
}

enum class SaveFault { FolderInTheWay, NoSuchFolder, WriteFailsHalfWay };
Q_DECLARE_METATYPE(SaveFault)

void TstTableFile::failedSaveKeepsOldFile_data() {
    QTest::addColumn<SaveFault>("fault");
    QTest::newRow("a folder in the file's place") << SaveFault::FolderInTheWay;
    QTest::newRow("no such folder") << SaveFault::NoSuchFolder;
    QTest::newRow("write fails half way") << SaveFault::WriteFailsHalfWay;
}

void TstTableFile::failedSaveKeepsOldFile() {
    QFETCH(SaveFault, fault);
    const QString kept =
        dir_->filePath(fault == SaveFault::FolderInTheWay ? "t.txt/inner/keep.txt" : "t.txt");
    QVERIFY(QDir(dir_->path()).mkpath(QFileInfo(kept).path()));
    QVERIFY(writeFile(kept, "old table line\r\n"));
    MemoryTable table;
    fillExample(table);

    // A file-size limit makes every write past 16 bytes fail (EFBIG), as a full disk would, even
    // for the superuser.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    if (fault == SaveFault::WriteFailsHalfWay) {
        small.rlim_cur = 16;
    }
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString folder = fault == SaveFault::NoSuchFolder ? dir_->filePath("no/such") : dir_->path();
    TableFile::Save(table, false, folder, QStringLiteral("t"), messages_);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    expectBox(QStringLiteral("t.txt"), MessageSink::Icon::Critical);
    QCOMPARE(readAll(kept), QByteArray("old table line\r\n"));
    // No leftovers beside it.
    QCOMPARE(QDir(dir_->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"t.txt"});
}

void TstTableFile::roundTrip_data() {
    QTest::addColumn<bool>("fourCh");
    QTest::addColumn<int>("unit");
    QTest::newRow("four channels PPS") << true << int(TableView::Pps);
    QTest::newRow("four channels Code") << true << int(TableView::Code);
    QTest::newRow("two channels PPS") << false << int(TableView::Pps);
    QTest::newRow("two channels Code") << false << int(TableView::Code);
}

void TstTableFile::roundTrip() {
    QFETCH(bool, fourCh);
    QFETCH(int, unit);
    for (int seed = 0; seed < 6; ++seed) {
        MemoryTable table;
        fillDistinct(table, seed);
        table.setField(TableView::Position, 0, QStringLiteral("Ünïcode −5"));
        table.setSwitchBox(TableView::LsNc, 2, true);  // an invisible box
        table.setSwitchBox(TableView::LsEnable, fourCh ? 14 : 6, true);
        table.setSpeedUnit(unit);
        TableFile::Save(table, fourCh, dir_->path(), QStringLiteral("rt"), messages_);

        MemoryTable loaded;
        fillDistinct(loaded, seed + 1);
        loaded.setSpeedUnit(unit == TableView::Code ? TableView::Pps : TableView::Code);
        QVERIFY(load(loaded, QStringLiteral("rt.txt")));
        QCOMPARE(loaded.speedUnit(), unit);
        const QString differences = tableDifferences(loaded, table, fourCh ? 4 : 2);
        QVERIFY2(differences.isEmpty(), qPrintable(differences));
        QVERIFY(messages_.boxes.isEmpty());
    }
}

void TstTableFile::codeHeaderOfFive() {
    // The header is taken as "COD": reading starts on the comma after "CODE", so every field
    // lands one place further on.
    QString line = QStringLiteral("CODE,");
    for (int i = 1; i <= 20; ++i) {
        line += QString::number(i) + u',';
    }
    MemoryTable table;
    table.setSpeedUnit(TableView::Pps);
    QVERIFY(TableFile::ApplyLine(table, line));
    QCOMPARE(table.speedUnit(), int(TableView::Code));
    QCOMPARE(table.field(TableView::Position, 0), QString());
    QCOMPARE(table.field(TableView::Position, 1), QStringLiteral("1"));
    QCOMPARE(table.field(TableView::CwDgls, 0), QStringLiteral("2"));
    QCOMPARE(table.field(TableView::Backlash, 1), QStringLiteral("15"));
    // Flag bytes 16 and 17, masks 18 and 19 (hexadecimal).
    QVERIFY(table.flag(TableView::DglsEnable, 0) && !table.flag(TableView::LsFastStop, 0));
    QVERIFY(table.flag(TableView::DglsEnable, 1) && table.flag(TableView::LsFastStop, 1));
    QVERIFY(table.switchBox(TableView::LsEnable, 3) && table.switchBox(TableView::LsEnable, 4));
    QVERIFY(!table.switchBox(TableView::LsEnable, 0));
    QVERIFY(table.switchBox(TableView::LsNc, 0) && table.switchBox(TableView::LsNc, 3));
}

void TstTableFile::lastLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("last");
    const QList<std::pair<const char*, const char*>> rows{
        {"", ""},          {"a\r\n", "a"},  {"a", "a"},     {"a\r\nb\r\n", "b"},
        {"a\r\n\r\n", ""}, {"a\nb\n", "b"}, {"a\rb\r", "b"}};
    for (const auto& [text, last] : rows) {
        QTest::newRow(QByteArray(text).toPercentEncoding()) << text << last;
    }
}

void TstTableFile::lastLine() {
    QFETCH(QString, text);
    QTEST(TableFile::LastLine(text), "last");
}

void TstTableFile::loads_data() {
    QTest::addColumn<QString>("file");        // the operator's choice
    QTest::addColumn<QByteArray>("content");  // written under that name unless null
    QTest::addColumn<QString>("message");     // empty: loaded
    QTest::addColumn<int>("icon");
    const QByteArray example = kExample.toUtf8();
    const auto padded = [&example](qsizetype size) {  // a file of `size` bytes whose last line is the example
        return QByteArray(size - example.size() - 4, ' ') + "\r\n" + example + "\r\n";
    };
    const auto row = [](const char* name, const char* file, const QByteArray& content, const char* message,
                        MessageSink::Icon icon = MessageSink::Icon::Information) {
        QTest::newRow(name) << file << content << message << int(icon);
    };
    const auto refused = [&row](const char* name, const QByteArray& content) {
        row(name, "bad.txt", content, "File format is not matching!");
    };
    row("nothing chosen", "", {}, "Indicate the file name in the folder !", MessageSink::Icon::Critical);
    row("missing file", "gone.txt", {}, "gone.txt", MessageSink::Icon::Critical);
    row("a folder in the name", "sub/t.txt", {}, "folder separator");
    row("one byte over 1 MiB", "big.txt", padded(TableFile::kMaxFileBytes + 1),
        "big.txt is larger than 1 MiB");
    row("exactly 1 MiB", "fits.txt", padded(TableFile::kMaxFileBytes), "");
    refused("unknown header", "XYZ,1,2,3,\r\n");
    refused("lower-case header", kExample.toLower().toUtf8() + "\r\n");
    refused("empty file", "");
    refused("fewer fields", example.chopped(1) + "\r\n");  // the last field has no comma after it
    refused("mask over 16 bits", QByteArray(example).replace(",3B,00,", ",3B,10000,"));
    // 2^32 would read as 0 if the top fell off.
    refused("mask over 32 bits", QByteArray(example).replace(",3B,00,", ",100000000,00,"));
    refused("flag byte over 16 bits", QByteArray(example).replace(",31,10,", ",31,1FFFF,"));
}

void TstTableFile::loads() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(int, icon);
    if (!content.isNull()) {
        QVERIFY(writeFile(dir_->filePath(file), content));
    }
    MemoryTable table;
    fillDistinct(table, 1);
    table.setSpeedUnit(TableView::Code);
    QCOMPARE(load(table, file), message.isEmpty());
    if (message.isEmpty()) {
        QVERIFY(messages_.boxes.isEmpty());
        QCOMPARE(table.field(TableView::Rate, 0), QStringLiteral("10"));
        return;
    }
    expectBox(message, MessageSink::Icon(icon));
    const QString differences = tableDifferences(table, MemoryTable{}, 4);  // cleared before it was refused
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
    QCOMPARE(table.speedUnit(), int(TableView::Code));
}

void TstTableFile::loadDuringRead() {
    // Clear is refused while a sequence runs: the fields not in the file keep their text.
    QVERIFY(writeFile(dir_->filePath("two.txt"), kExample.toUtf8() + "\r\n"));
    MemoryTable table;
    fillDistinct(table, 0);
    const QString kept = table.field(TableView::Rate, 3);
    tmrTokei_.setInterval(20);
    QVERIFY(load(table, QStringLiteral("two.txt")));
    QCOMPARE(table.field(TableView::Rate, 3), kept);
    QCOMPARE(table.field(TableView::Rate, 0), QStringLiteral("10"));
}

QTEST_GUILESS_MAIN(TstTableFile)
#include "tst_tablefile.moc"
