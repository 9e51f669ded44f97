#pragma once

#include "simchannel.h"
#include "simmodel.h"

#include <QList>
#include <vector>

// The controller's state apart from its link: the channels, the selected speed, the limit-switch
// configuration and the synchronous-start bracket. No I/O and no clock of its own: every call
// is told the time.
class SimMachine {
public:
    enum class Speed { High, Middle, Low };

    explicit SimMachine(const SimModelInfo& model);

    const SimModelInfo& model() const { return m_model; }
    int channelCount() const { return m_model.channels; }
    SimChannel& channel(int index) { return m_channels.at(static_cast<std::size_t>(index)); }

    Speed speed() const { return m_speed; }
    void setSpeed(Speed speed) { m_speed = speed; }
    qint64 speedPps(int channel) const;

    // A controller that answers every motion command "ERR" and runs none (a firmware in a state
    // that takes no moves): for the panel's handling of refused moves.
    bool motionRefused() const { return m_motionRefused; }
    void setMotionRefused(bool on) { m_motionRefused = on; }

    qint64 jogStep() const { return m_jogStep; }
    void setJogStep(qint64 pulses) { m_jogStep = pulses; }

    // Limit-switch masks, four bits per channel (CW, CCW, unnamed, HP) from the lowest nibble
    // for channel A. The enable mask decides which simulated switches act.
    quint16 switchEnable() const { return m_switchEnable; }
    void setSwitchEnable(quint16 mask);
    quint16 switchInvert() const { return m_switchInvert; }
    void setSwitchInvert(quint16 mask) { m_switchInvert = mask & allSwitchBits(); }
    quint16 allSwitchBits() const { return m_model.channels == 4 ? 0xFFFF : 0x00FF; }

    // Motion requests made while the bracket is open wait for closeBracket, which starts them
    // all at the same instant.
    bool bracketOpen() const { return m_bracketOpen; }
    void openBracket() { m_bracketOpen = true; }
    void closeBracket(qint64 nowUs);

    // Starts now, or queues the request while the bracket is open (reported as started).
    SimStart submit(int channel, const SimMotionRequest& request, qint64 nowUs);
    // A stop also withdraws a request waiting in the bracket.
    void stop(int channel, qint64 nowUs);

private:
    struct Deferred {
        int channel;
        SimMotionRequest request;
    };

    SimModelInfo m_model;
    std::vector<SimChannel> m_channels;
    Speed m_speed = Speed::Middle;
    qint64 m_jogStep = 100;
    quint16 m_switchEnable = 0;
    quint16 m_switchInvert = 0;
    bool m_bracketOpen = false;
    bool m_motionRefused = false;
    QList<Deferred> m_deferred;
};
