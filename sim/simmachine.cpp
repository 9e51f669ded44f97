#include "simmachine.h"

#include <utility>

SimMachine::SimMachine(const SimModelInfo& model)
    : m_model(model), m_channels(static_cast<std::size_t>(model.channels)) {
    // Out of the box every channel's CW, CCW and HP switches are enabled (0xB per channel).
    setSwitchEnable(0xBBBB);
}

qint64 SimMachine::speedPps(int channel) const {
    const SimChannel::Table& t = m_channels.at(static_cast<std::size_t>(channel)).table;
    switch (m_speed) {
        case Speed::High:
            return t.hspd;
        case Speed::Middle:
            return t.mspd;
        case Speed::Low:
            return t.lspd;
    }
    return t.mspd;
}

void SimMachine::setSwitchEnable(quint16 mask) {
    m_switchEnable = mask & allSwitchBits();
    for (int i = 0; i < channelCount(); ++i) {
        channel(i).switchEnable = static_cast<quint8>((m_switchEnable >> (4 * i)) & 0xF);
    }
}

SimStart SimMachine::submit(int index, const SimMotionRequest& request, qint64 nowUs) {
    if (m_bracketOpen) {
        m_deferred.append(Deferred{index, request});
        return SimStart::Started;
    }
    return channel(index).start(request, speedPps(index), nowUs);
}

void SimMachine::closeBracket(qint64 nowUs) {
    m_bracketOpen = false;
    const QList<Deferred> due = std::exchange(m_deferred, {});
    for (const Deferred& d : due) {
        channel(d.channel).start(d.request, speedPps(d.channel), nowUs);
    }
}

void SimMachine::stop(int index, qint64 nowUs) {
    m_deferred.removeIf([index](const Deferred& d) { return d.channel == index; });
    channel(index).stop(nowUs);
}
