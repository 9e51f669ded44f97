#include "tablewrite.h"

#include "tablecaptions.h"
#include "textfields.h"

#include <algorithm>

namespace WriteForms {

namespace {
QString signedForm(const QString& t, int digits) {
    return TextFields::signedPadded(TextFields::roundHalfAway(t.trimmed().toDouble()), digits);
}
}  // namespace

QString S7(const QString& t) {
    return signedForm(t, 7);
}
QString S4(const QString& t) {
    return signedForm(t, 4);
}

QString R(int n, const QString& zeros, const QString& t) {
    return (zeros + t).right(n);
}

QString H(int n, std::uint32_t value) {
    return (QString(n, u'0') + QString::number(value, 16).toUpper()).right(n);
}

QString Lost(int n, const QString& zeros, const QString& t) {
    const QString whole = zeros + t;
    return whole.left(qMax(0, int(whole.size()) - n));
}

}  // namespace WriteForms

namespace {

int fieldOfStep(int step) {
    switch (step) {
        case 0:
            return TableView::Position;
        case 3:
            return TableView::CwDgls;
        case 6:
            return TableView::CcwDgls;
        case 9:
            return TableView::Hspd;
        case 10:
            return TableView::Mspd;
        case 11:
            return TableView::Lspd;
        case 12:
            return TableView::Rate;
        case 13:
            return TableView::Backlash;
        default:
            return 0;
    }
}

// The zero-fill form of a field in the current dialect and unit, if it has one.
struct CutForm {
    int n = 0;
    QString zeros;
};

std::optional<CutForm> cutForm(const TableView& table, int step, bool usbModel) {
    if (step >= 9 && step <= 11) {
        if (table.speedUnit() == TableView::Code) {
            return CutForm{3, QStringLiteral("0000")};
        }
        if (!usbModel) {
            return CutForm{6, QStringLiteral("0000")};
        }
        return std::nullopt;  // the USB models take the speed as typed
    }
    if (step == 12) {
        return usbModel ? CutForm{3, QStringLiteral("00")} : CutForm{2, QStringLiteral("00")};
    }
    return std::nullopt;
}

std::uint32_t switchMask(const TableView& table, TableView::SwitchGroup group, int items) {
    std::uint32_t mask = 0;
    for (int k = 0; k < items; ++k) {
        if (table.switchBox(group, k)) {
            mask |= 1u << k;
        }
    }
    return mask;
}

}  // namespace

std::optional<QByteArray> TableWriteCommand(const TableView& table, int step, int ch, bool usbModel,
                                            bool fourChModel) {
    using namespace WriteForms;
    const QString n = QString::number(ch, 16).toUpper();

    if (step == 14) {
        const std::uint32_t flags = (table.flag(TableView::BacklashMode, ch) ? 32u : 0u) +
                                    (table.flag(TableView::DglsEnable, ch) ? 16u : 0u) +
                                    (table.flag(TableView::LsFastStop, ch) ? 1u : 0u);
        return ("S39" + n + "6" + H(2, flags)).toLatin1();
    }
    if (step == 15 || step == 16) {
        const auto group = step == 15 ? TableView::LsEnable : TableView::LsNc;
        const QString mask =
            fourChModel ? H(4, switchMask(table, group, 16)) : H(2, switchMask(table, group, 8));
        return ((step == 15 ? QStringLiteral("LSEN") : QStringLiteral("LSIV")) + mask).toLatin1();
    }

    const int field = fieldOfStep(step);
    if (field == 0) {
        return std::nullopt;
    }
    const QString t = table.field(field, ch);
    if (!TextFields::isNumeric(t)) {
        return std::nullopt;
    }

    QString command;
    switch (step) {
        case 0:
            command = usbModel ? "PS" + n + S7(t) : "S39" + n + "9" + S7(t);
            break;
        case 3:
            command = usbModel ? "FL" + n + S7(t) : "S5" + n + "FL" + S7(t);
            break;
        case 6:
            command = usbModel ? "BL" + n + S7(t) : "S5" + n + "BL" + S7(t);
            break;
        case 9:
        case 10:
        case 11: {
            const int k = step - 9;
            const QChar which = QLatin1String("HML")[k];
            if (table.speedUnit() == TableView::Code) {
                command = "S39" + n + QString::number(k) + R(3, QStringLiteral("0000"), t);
            } else if (usbModel) {
                command = "SPD" + QString(which) + n + t;
            } else {
                command = "SP" + QString(which) + n + R(6, QStringLiteral("0000"), t);
            }
            break;
        }
        case 12:
            command = usbModel ? "RTE" + n + R(3, QStringLiteral("00"), t)
                               : "S39" + n + "3" + R(2, QStringLiteral("00"), t);
            break;
        default:
            command = "B" + n + S4(t);
            break;
    }
    // The wire is ASCII; a typed non-ASCII character cannot be numeric, so nothing is lost here.
    return command.toLatin1();
}

QString TableWriteCutProblem(const TableView& table, int step, int ch, bool usbModel) {
    const int field = fieldOfStep(step);
    const std::optional<CutForm> form = cutForm(table, step, usbModel);
    if (field == 0 || !form) {
        return {};
    }
    const QString t = table.field(field, ch);
    if (!TextFields::isNumeric(t)) {
        return {};
    }
    const QString lost = WriteForms::Lost(form->n, form->zeros, t);
    if (lost.contains(u'-')) {
        return QStringLiteral(
                   "%1: \"%2\" would lose its minus sign: the controller takes %3 digits "
                   "and no sign.")
            .arg(TableFieldCaption(field, ch), t)
            .arg(form->n);
    }
    if (std::any_of(lost.begin(), lost.end(), [](QChar c) { return c >= u'1' && c <= u'9'; })) {
        return QStringLiteral("%1: \"%2\" has more digits than the controller takes (%3).")
            .arg(TableFieldCaption(field, ch), t)
            .arg(form->n);
    }
    return {};
}

TableWrite::TableWrite(PanelState& state, TableView& table, CommandLink& link, MessageSink& messages,
                       IntervalTimer& tmrTokei, IntervalTimer& tmrWrite, QObject* parent)
    : QObject(parent),
      state_(state),
      table_(table),
      link_(link),
      messages_(messages),
      tmrTokei_(tmrTokei),
      tmrWrite_(tmrWrite) {
    connect(&tmrWrite_, &IntervalTimer::timeout, this, &TableWrite::Tick);
    // Followed exactly, as the table read does with its flag, so that what is sent while the
    // write runs can be told apart from the operator's commands.
    state_.TableWriting = tmrWrite_.running();
    connect(&tmrWrite_, &IntervalTimer::intervalChanged, this,
            [this](int ms) { state_.TableWriting = ms != 0; });
    connect(&tmrWrite_, &QObject::destroyed, this, [this] { state_.TableWriting = false; });
}

TableWrite::~TableWrite() {
    state_.TableWriting = false;
}

void TableWrite::Start() {
    // Both sequences drive the same counters; a write over a running read would scramble both.
    if (tmrTokei_.running()) {
        messages_.showMessage(QStringLiteral("The table is being read. Press \"R/W Stop\" first."),
                              kCautionTitle, MessageSink::Icon::Information);
        return;
    }
    const int last = lastChannel();
    for (int ch = 0; ch <= last; ++ch) {
        for (int field = TableView::Position; field <= TableView::Backlash; ++field) {
            if (table_.field(field, ch).isEmpty()) {
                messages_.showMessage(QStringLiteral("Please set all parameter!"), kCautionTitle,
                                      MessageSink::Icon::Information);
                return;
            }
        }
    }
    // Refused before the first command: a table sent with one value cut short is worse than none.
    for (int step : {9, 10, 11, 12}) {
        for (int ch = 0; ch <= last; ++ch) {
            const QString problem = TableWriteCutProblem(table_, step, ch, state_.UsbModel);
            if (!problem.isEmpty()) {
                messages_.showMessage(problem + QStringLiteral(" Nothing was written."), kCautionTitle,
                                      MessageSink::Icon::Information);
                return;
            }
        }
    }
    table_.setStatus(QStringLiteral("--- Writing ---"));
    tmrWrite_.setInterval(kTickMs);
    state_.TableStep = 0;
    state_.TableChannel = 0;
}

void TableWrite::stop(const QString& status) {
    tmrWrite_.setInterval(0);
    table_.setStatus(status);
}

void TableWrite::Tick() {
    if (sending_ || !tmrWrite_.running()) {
        return;
    }
    const int step = state_.TableStep;
    const int ch = state_.TableChannel;
    const int last = lastChannel();

    if (const std::optional<QByteArray> command =
            TableWriteCommand(table_, step, ch, state_.UsbModel, state_.FourChModel)) {
        sending_ = true;
        const bool sent = link_.SendCommand(*command + "\r\n", Origin::Table);
        sending_ = false;
        if (!sent) {
            // The link has told the operator already ("Not connected !").
            stop(QStringLiteral("--- Write stopped: not connected ---"));
            return;
        }
    }

    if (ch % 2 != 0) {
        table_.setStatus(!table_.status().isEmpty()
                             ? QString()
                             : QStringLiteral("--- Writing ---   ") + QString::number(step, 16).toUpper() +
                                   QString::number(ch, 16).toUpper());
    }

    int nextStep = step;
    int nextCh = ch + 1;
    if (nextCh > last) {
        nextCh = 0;
        if (step == 0 || step == 3) {
            nextStep = step + 3;
        } else if (step == 6) {
            nextStep = 9;
        } else if (step >= 9 && step <= 14) {
            nextStep = step + 1;
        }
    }
    // The mask commands are repeated until the channel count reaches the last channel: once on
    // the two-channel models, three times on the four-channel one.
    if (nextStep >= 15 && nextCh == last) {
        ++nextStep;
        nextCh = 0;
    }
    state_.TableStep = nextStep;
    state_.TableChannel = nextCh;
    if (nextStep >= 17) {
        state_.TableStep = 0;
        state_.TableChannel = 0;
        stop(QString());
    }
}
