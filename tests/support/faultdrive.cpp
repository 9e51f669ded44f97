#include "faultdrive.h"

#include "colours.h"
#include "lampindicator.h"

#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

namespace FaultDrive {

void clearFaults(SimController& sim) {
    SimFaults& f = sim.faults();
    f.setSilent(false);
    f.setDropEvery(0);
    f.setReplyDelayMs(0);
    f.setSplit(0);
    f.setSrqLineEvery(0);
    f.setSrqInsideEvery(0);
    f.setGarbageEvery(0);
    f.setHangUpAfter(0);
    f.setBaud(0);
    sim.setAck(false);
}

bool reconnect(SimPanel& p) {
    if (p.app->state.Connected) {
        p.click(QStringLiteral("Connect"));
    }
    if (p.tcp) {
        p.tcp->close();  // SimPanel::connect listens afresh
    }
    return p.connect();
}

bool stopAtReply(SimPanel& p) {
    p.app->Timer2.setInterval(0);
    if (!p.usb) {
        return QTest::qWaitFor([&p] { return p.app->state.AwaitingReply == 0; }, 2000);
    }
    QSerialPort& port = p.app->channel.serialPort();
    return QTest::qWaitFor(
        [&port] { return port.bytesAvailable() > 0 && port.peek(port.bytesAvailable()).endsWith('\n'); },
        2000);
}

void tick(SimPanel& p, int count) {
    for (int i = 0; i < count; ++i) {
        p.app->polling.Tick();
        QCoreApplication::processEvents();
    }
}

QStringList display(SimPanel& p) {
    QStringList shown;
    for (int ch = 0; ch < 4; ++ch) {
        QString line = p.text(QStringLiteral("LblPosition_%1").arg(ch));
        for (const char* lamp : {"LampCW", "LampCCW", "LampHP"}) {
            auto* l = p.find<LampIndicator>(QStringLiteral("%1_%2").arg(QLatin1String(lamp)).arg(ch));
            line += l != nullptr && l->fillBgr() == Bgr::Red ? u'*' : u'.';
        }
        auto* hold = p.find<QPushButton>(QStringLiteral("BtnHOff_%1").arg(ch));
        line += hold != nullptr && backColour(hold) == Bgr::Red ? u'H' : u'-';
        shown << line;
    }
    return shown;
}

bool pollReplies(SimPanel& p, int replies, int timeoutMs) {
    QSignalSpy delivered(&p.app->channel, &CommandChannel::replyDelivered);
    p.app->Timer2.setInterval(20);
    return QTest::qWaitFor([&] { return delivered.size() >= replies; }, timeoutMs);
}

SimPanel* PanelPool::ready(SimModel model) {
    std::unique_ptr<SimPanel>& slot = panels_[model];
    if (!slot) {
        slot = std::make_unique<SimPanel>(model);
    }
    SimPanel& p = *slot;
    clearFaults(p.sim);
    p.messages.onShow = nullptr;
    if (!reconnect(p) || !pollReplies(p, 4)) {
        return nullptr;
    }
    p.messages.boxes.clear();
    p.received.clear();
    return &p;
}

}  // namespace FaultDrive
