#include "motionwait.h"

#include "axisbook.h"
#include "clientsession.h"
#include "scripttarget.h"

namespace MotionWait {

std::optional<QByteArray> waitAnswer(const AxisBook& axes, const std::vector<Scpi::Target>& targets) {
    QByteArray first;
    for (const Scpi::Target& t : targets) {
        if (axes.underWay(t.ch)) {
            return std::nullopt;
        }
        const AxisMove* m = axes.latest(t.ch);
        if (m != nullptr && first.isEmpty() && m->outcome != Outcome::Done) {
            first = AxisBook::outcomeWord(m->outcome).toLatin1();
        }
    }
    return first.isEmpty() ? QByteArray("DONE") : first;
}

bool scriptsIdle(const ScriptTarget& target) {
    return !target.scriptMovePending() && !target.axes().underWay(Origin::Script);
}

QString describe(int ch, const AxisMove& move) {
    QString text =
        QStringLiteral("%1 %2 at %3")
            .arg(Scpi::channelLetter(ch))
            .arg(move.outcome == Outcome::Stopped ? QStringLiteral("stopped") : QStringLiteral("ended"))
            .arg(move.endText.isEmpty() ? QStringLiteral("?") : move.endText);
    if (move.target) {
        text += QStringLiteral(", target ") + AxisBook::positionText(*move.target);
    }
    return move.why.isEmpty() ? text : text + QStringLiteral(": ") + move.why;
}

std::optional<QByteArray> settle(ScriptTarget& target, const ClientSession& client, qint64 now) {
    if (!client.waitingOn) {
        return QByteArray();
    }
    const Scpi::Command& c = *client.waitingOn;
    const bool late = now >= client.deadline;
    switch (c.verb) {
        case Scpi::Verb::Wait:
            // A session that ends ends every move with it, so the wait has its answer then.
            if (const std::optional<QByteArray> answer = waitAnswer(target.axes(), c.targets)) {
                return answer;
            }
            break;
        case Scpi::Verb::Opc:
        case Scpi::Verb::Wai:
            if (scriptsIdle(target)) {
                return QByteArray("1");
            }
            if (late) {
                return QByteArray("0");
            }
            return std::nullopt;
        case Scpi::Verb::Ask: {
            const ScriptTarget::AskState state = target.askState();
            if (state == ScriptTarget::AskState::Answered) {
                return target.takeAnswer();
            }
            if (state == ScriptTarget::AskState::TimedOut || late || !target.connected()) {
                target.dropAsk();
                return QByteArray("TIMEOUT");
            }
            return std::nullopt;
        }
        default:
            return QByteArray();
    }
    if (late) {
        return QByteArray("TIMEOUT");
    }
    return std::nullopt;
}

}  // namespace MotionWait
