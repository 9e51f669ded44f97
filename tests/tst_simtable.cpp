// The parameter table as the table write sets it and the table read takes it back, in both
// dialects and both speed units.

#include "tst_simforms.h"

#include <QtTest>

using namespace PanelForms;

class TstSimTable : public QObject {
    Q_OBJECT
private slots:
    void tableRoundTrip_data();
    void tableRoundTrip();
    void speedCodeOfPpsValue();
};

void TstSimTable::tableRoundTrip_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<bool>("pps");
    for (SimModel m : {SimModel::Kelda, SimModel::Runel, SimModel::Vasko}) {
        QTest::addRow("%s PPS", simModelInfo(m).name.constData()) << m << true;
        QTest::addRow("%s Code", simModelInfo(m).name.constData()) << m << false;
    }
}

void TstSimTable::tableRoundTrip() {
    QFETCH(SimModel, model);
    QFETCH(bool, pps);
    Rig rig(model);
    const bool usb = rig.usb();
    const int channels = rig.controller.machine().channelCount();
    struct Row {
        qint64 position, cw, ccw, speed[3];
        int rate;
        qint64 backlash;
        unsigned flags;
    };
    const auto expected = [&](int ch) {
        const qint64 k = ch + 1;
        const qint64 speeds[3] = {pps ? 20000 + k : 900 + k, pps ? 3000 + k : 300 + k,
                                  pps ? 400 + k : 40 + k};
        return Row{-1234 * k,
                   5000 * k,
                   -6000 * k,
                   {speeds[0], speeds[1], speeds[2]},
                   int(10 + k),
                   k % 2 ? -5 * k : 20 * k,
                   ch % 2 ? 0x21u : 0x11u};
    };
    const unsigned lsen = channels == 4 ? 0x8093 : 0x9F;
    const unsigned lsiv = channels == 4 ? 0x8000 : 0x83;

    // The table write, in its exact forms; no command may draw a reply.
    for (int ch = 0; ch < channels; ++ch) {
        const Row v = expected(ch);
        const QByteArray n = QByteArray::number(ch);
        QList<QByteArray> writes{usb ? "PS" + n + s7(v.position) : "S39" + n + "9" + s7(v.position),
                                 usb ? "FL" + n + s7(v.cw) : "S5" + n + "FL" + s7(v.cw),
                                 usb ? "BL" + n + s7(v.ccw) : "S5" + n + "BL" + s7(v.ccw)};
        for (int s = 0; s < 3; ++s) {
            const QByteArray text = QByteArray::number(v.speed[s]);
            const char letter = "HML"[s];
            writes << (!pps  ? "S39" + n + QByteArray::number(s) + r(3, "0000", text)
                       : usb ? "SPD" + QByteArray(1, letter) + n + text
                             : "SP" + QByteArray(1, letter) + n + r(6, "0000", text));
        }
        const QByteArray rate = QByteArray::number(v.rate);
        writes << (usb ? "RTE" + n + r(3, "00", rate) : "S39" + n + "3" + r(2, "00", rate));
        writes << "B" + n + s4(v.backlash) << "S39" + n + "6" + h(2, v.flags);
        for (const QByteArray& w : writes) {
            QVERIFY2(rig.ask(w).isEmpty(), w.constData());
        }
    }
    const int digits = channels == 4 ? 4 : 2;
    QVERIFY(rig.ask("LSEN" + h(digits, lsen)).isEmpty());
    QVERIFY(rig.ask("LSIV" + h(digits, lsiv)).isEmpty());

    // The table read, taking from each reply what the reply interpreter takes.
    for (int ch = 0; ch < channels; ++ch) {
        const Row v = expected(ch);
        const QByteArray n = QByteArray::number(ch);
        const QByteArray position = usb ? rig.line("PS?" + n) : chars(rig.line("S2" + n + "0"), 3, 8);
        QCOMPARE(position.toLongLong(), v.position);
        QCOMPARE((usb ? rig.line("FL?" + n) : chars(rig.line("S4" + n + "FL"), 1, 8)).toLongLong(), v.cw);
        QCOMPARE((usb ? rig.line("BL?" + n) : chars(rig.line("S4" + n + "BL"), 1, 8)).toLongLong(), v.ccw);
        for (int s = 0; s < 3; ++s) {
            const QByteArray letter(1, "HML"[s]);
            double read = 0;
            if (!pps) {
                read = chars(rig.line("S4" + n + QByteArray::number(s)), 4, 4).toDouble();
            } else if (usb) {
                read = leadingNumber(rig.line("SPD" + letter + "?" + n));
            } else {
                read = leadingNumber(chars(rig.line("SP" + letter + "?" + n), 2, 6));
            }
            QCOMPARE(qint64(read), v.speed[s]);
        }
        QCOMPARE(chars(rig.line("S4" + n + "3"), 5, 3).toInt(), v.rate);
        QCOMPARE(chars(rig.line("B" + n + "?"), 1, 5).toLongLong(), v.backlash);
        const QByteArray flags = rig.line("S4" + n + "5");
        QCOMPARE(readHex(chars(flags, 6, 1)) * 16 + readHex(chars(flags, 7, 1)), v.flags);
    }
    QCOMPARE(readHex(chars(rig.line("LSEN?"), 2, digits)), lsen);
    QCOMPARE(readHex(chars(rig.line("LSIV?"), 2, digits)), lsiv);
}

void TstSimTable::speedCodeOfPpsValue() {
    // One speed, two units: a rate set in pulses per second reads back as the nearest code.
    Rig rig(SimModel::Vasko);
    rig.ask("SPDH22006");
    QCOMPARE(chars(rig.line("S420"), 4, 4), QByteArray("0201"));
    rig.ask("S3921077");
    QCOMPARE(rig.line("SPDM?2"), QByteArray("770"));
}

int runSimTableTests(int argc, char** argv) {
    TstSimTable table;
    return QTest::qExec(&table, argc, argv);
}

#include "tst_simtable.moc"
