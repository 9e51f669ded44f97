#include "fuzzentries.h"

#include "channelunits.h"
#include "fakepanelview.h"
#include "memorytable.h"
#include "namedpositions.h"
#include "panelstate.h"
#include "recentlist.h"
#include "replyinterpreter.h"
#include "scpilines.h"
#include "scpiparser.h"
#include "tablefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <span>

namespace FuzzEntry {

namespace {

// Every step the poll rotation knows, and a few it never sets, which must do nothing.
constexpr std::array<int, 18> kPollSteps{0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 20, 21, 22, 23, -1, 7, 99};

void identify(PanelState& state, int model) {
    // 0: nothing identified yet, as right after the program starts.
    state.UsbModel = model == 2 || model == 3;
    state.FourChModel = model == 3;
    state.LastChannel = model == 0 ? 0 : model == 3 ? 3 : 1;
}

QString compareTables(const MemoryTable& a, const MemoryTable& b) {
    if (a.speedUnit() != b.speedUnit()) {
        return QStringLiteral("speed unit changed");
    }
    for (int ch = 0; ch < TableView::kChannels; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            if (a.field(f, ch) != b.field(f, ch)) {
                return QStringLiteral("field %1 of channel %2 changed").arg(f).arg(ch);
            }
        }
        for (auto flag : {TableView::BacklashMode, TableView::DglsEnable, TableView::LsFastStop}) {
            if (a.flag(flag, ch) != b.flag(flag, ch)) {
                return QStringLiteral("flag %1 of channel %2 changed").arg(int(flag)).arg(ch);
            }
        }
    }
    for (auto group : {TableView::LsEnable, TableView::LsNc}) {
        for (int k = 0; k < TableView::kSwitchItems; ++k) {
            if (a.switchBox(group, k) != b.switchBox(group, k)) {
                return QStringLiteral("switch %1 of group %2 changed").arg(k).arg(int(group));
            }
        }
    }
    return {};
}

}  // namespace

QString Replies(QByteArrayView input) {
    if (input.size() < 3) {
        return {};
    }
    const auto model = std::uint8_t(input[0]) % 4;
    const auto step = std::uint8_t(input[1]);
    const auto extra = std::uint8_t(input[2]);

    PanelState state;
    FakePanelView view;
    MemoryTable table;
    ReplyInterpreter interpreter(state, view);
    interpreter.setTable(&table);
    identify(state, int(model));
    if (step & 0x80) {
        state.TableReading = true;
        state.TableStep = (step & 0x7F) % 20;  // 17 ends the read; 18 and 19 are never asked
        state.TableChannel = (extra & 0x0F) % 5;
        table.setSpeedUnit(extra & 0x80 ? TableView::Code : TableView::Pps);
    } else {
        state.PollStep = kPollSteps.at(step % kPollSteps.size());
    }
    // The speed selector answers a changed selection as an operator's click would; here that
    // click has nothing to send.
    view.onSpeedChosen = [](int) {};

    const int firstStep = state.PollStep;
    const auto rotation = std::span(kPollSteps).first(15);
    const QByteArray replies = input.sliced(3).toByteArray();
    qsizetype from = 0;
    while (from < replies.size()) {
        const qsizetype lf = replies.indexOf('\n', from);
        if (lf < 0) {
            break;  // no LF at the end: the buffer keeps it
        }
        // As the cycle stands when a reply comes: a query outstanding, some ticks counted.
        state.AwaitingReply = 1;
        state.ReplyWaitTicks = 5;
        interpreter.InterpretReply(replies.mid(from, lf + 1 - from));
        from = lf + 1;

        if (state.AwaitingReply != 0 || state.ReplyWaitTicks != 0) {
            return QStringLiteral("a reply left the cycle waiting");
        }
        const bool known = std::find(rotation.begin(), rotation.end(), state.PollStep) != rotation.end();
        if (!known && state.PollStep != firstStep) {
            return QStringLiteral("poll step %1 is outside the rotation").arg(state.PollStep);
        }
        if (state.TableChannel < 0 || state.TableChannel > 4 || state.LastChannel < 0 ||
            state.LastChannel > 3) {
            return QStringLiteral("table channel %1 of %2").arg(state.TableChannel).arg(state.LastChannel);
        }
    }
    return {};
}

QString TableFile(QByteArrayView input) {
    QString text = QString::fromUtf8(input);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    MemoryTable loaded;
    const QString line = TableFile::LastLine(text);
    if (!TableFile::ApplyLine(loaded, line)) {
        return compareTables(loaded, MemoryTable()).isEmpty()
                   ? QString()
                   : QStringLiteral("a refused line changed the table");
    }
    // What loaded is saved as the setup window saves it, then loaded into a fresh table.
    const bool fourCh = line.startsWith(QLatin1String("COD4")) || line.startsWith(QLatin1String("PPM4"));
    if (TableFile::FieldBreakingLine(loaded, fourCh)) {
        return QStringLiteral("a loaded field cannot be saved");
    }
    MemoryTable again;
    if (!TableFile::ApplyLine(again, TableFile::LastLine(TableFile::BuildLine(loaded, fourCh) + "\r\n"))) {
        return QStringLiteral("a saved table does not load");
    }
    return compareTables(loaded, again);
}

QString RecentList(QByteArrayView input) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return QStringLiteral("no temporary folder");
    }
    const QString path = dir.filePath(QStringLiteral("KELDA_L.Log"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(input.data(), input.size()) != input.size()) {
        return QStringLiteral("cannot write %1").arg(path);
    }
    file.close();

    const RecentList::Loaded loaded = RecentList::load(path);
    if (loaded.entries.size() > RecentList::kEntries || loaded.complete != (loaded.entries.size() == 6)) {
        return QStringLiteral("%1 entries, complete %2").arg(loaded.entries.size()).arg(loaded.complete);
    }
    if (!loaded.complete) {
        return {};
    }
    if (!RecentList::save(path, RecentList::line(loaded.entries))) {
        return QStringLiteral("cannot save %1").arg(path);
    }
    const RecentList::Loaded again = RecentList::load(path);
    if (again.entries != loaded.entries || !again.complete) {
        return QStringLiteral("the list changed through a save: %1 / %2")
            .arg(loaded.entries.join(u'|'), again.entries.join(u'|'));
    }
    return {};
}

QString SettingsFiles(QByteArrayView input) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return QStringLiteral("no temporary folder");
    }
    const QString positions = dir.filePath(NamedPositions::kFile);
    const QString units = dir.filePath(ChannelUnits::kFile);
    for (const QString& path : {positions, units}) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(input.data(), input.size()) != input.size()) {
            return QStringLiteral("cannot write %1").arg(path);
        }
    }

    const NamedPositions::Loaded loaded = NamedPositions::load(positions);
    qsizetype lines = 0;
    for (const QByteArray& line : input.toByteArray().split('\n')) {
        lines += line.isEmpty() || line == "\r" ? 0 : 1;
    }
    if (qsizetype(loaded.lines.size()) != lines || loaded.damaged.size() != loaded.damagedLines().size()) {
        return QStringLiteral("%1 lines, %2 entries and %3 damaged")
            .arg(lines)
            .arg(loaded.entries().size())
            .arg(loaded.damagedLines().size());
    }
    QString error;
    if (!NamedPositions::save(positions, loaded.lines, &error)) {
        return error;
    }
    // Every line comes back where it stood, entries and damaged lines alike.
    const NamedPositions::Loaded again = NamedPositions::load(positions);
    if (again.entries() != loaded.entries() || again.damagedLines() != loaded.damagedLines() ||
        NamedPositions::text(again.lines) != NamedPositions::text(loaded.lines)) {
        return QStringLiteral("the positions changed through a save");
    }

    ChannelUnits read;
    if (!read.load(units, &error)) {
        return {};
    }
    ChannelUnits reread;
    if (!read.save(units, &error) || !reread.load(units, &error)) {
        return QStringLiteral("units that loaded did not come back: %1").arg(error);
    }
    for (size_t ch = 0; ch < read.unit.size(); ++ch) {
        if (reread.unit[ch].pulsesPerUnit != read.unit[ch].pulsesPerUnit ||
            reread.unit[ch].name != read.unit[ch].name) {
            return QStringLiteral("channel %1's unit changed through a save").arg(ch);
        }
    }
    return {};
}

QString ScpiLine(QByteArrayView line) {
    const QByteArray shown = Scpi::redacted(line);
    if (Scpi::redacted(shown) != shown) {
        return QStringLiteral("the redaction is not stable");
    }
    for (const QByteArray& command : Scpi::splitLine(line)) {
        const Scpi::Parsed p = Scpi::parse(command);
        if (!p.ok() && p.detail.isEmpty()) {
            return QStringLiteral("a refusal without a reason");
        }
        if (!p.ok()) {
            continue;
        }
        if (command.size() > Scpi::kMaxLine) {
            return QStringLiteral("an overlong command accepted");
        }
        if (Scpi::looksLikeQuery(command) != p.query()) {
            return QStringLiteral("a command that reads as a query and is not one, or the other way");
        }
        const QByteArray& secret = p.command.text;
        if (p.command.verb == Scpi::Verb::SystemAuth && secret.size() >= 4 &&
            line.toByteArray().count(secret) == 1 && shown.contains(secret)) {
            return QStringLiteral("a token left in the shown line");
        }
        unsigned seen = 0;
        for (const Scpi::Target& t : p.command.targets) {
            if (t.ch < 0 || t.ch >= Scpi::kChannels || (seen & (1u << t.ch)) != 0) {
                return QStringLiteral("a channel out of range or named twice");
            }
            seen |= 1u << t.ch;
            const bool isValue = !t.value.isEmpty();
            if (isValue &&
                (QByteArray::number(t.number) != t.value || Scpi::wholeValue(t.value).number != t.number)) {
                return QStringLiteral("a value that does not read back as its number");
            }
        }
    }
    return {};
}

}  // namespace FuzzEntry
