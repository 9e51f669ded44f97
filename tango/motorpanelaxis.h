#pragma once

#include "panelwatch.h"

#include <tango.h>

#include <mutex>
#include <string>

namespace MotorPanel_ns {

class MotorPanelAxisClass;

// One channel of the controller as a Tango motor. It knows the panel only through the automation
// port: attributes are read from what the port last said (followed every 20 ms by the class's
// watch), writes and commands are lines on the port, and whatever the port refuses comes back as a
// DevFailed with the port's own reason. Change events on Position, State, Status, Outcome and
// Limit_switches are pushed when the port reports a change.
class MotorPanelAxis : public Tango::Device_5Impl {
public:
    MotorPanelAxis(Tango::DeviceClass* cl, std::string& name);
    ~MotorPanelAxis() override;

    void init_device() override;
    void delete_device() override;
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;

    void read_Position(Tango::Attribute& att);
    void write_Position(Tango::WAttribute& att);
    void read_Limit_switches(Tango::Attribute& att);
    void read_HoldOff(Tango::Attribute& att);
    void write_HoldOff(Tango::WAttribute& att);
    void read_Speed(Tango::Attribute& att);
    void write_Speed(Tango::WAttribute& att);
    void read_Outcome(Tango::Attribute& att);
    void read_UserPosition(Tango::Attribute& att);
    void write_UserPosition(Tango::WAttribute& att);
    void read_Step_per_unit(Tango::Attribute& att);
    void read_Unit(Tango::Attribute& att);

    void Stop();
    void Abort();
    void MoveRelative(Tango::DevDouble steps);
    void DefinePosition(Tango::DevDouble position);
    void Home(Tango::DevShort direction);

    // The channel a device drives: its Channel property (A to D), else the last field of its name
    // when that is one letter A to D; -1 when neither says.
    static int channelOf(const std::string& property, const std::string& deviceName);
    // The state and the words for it, from what the port said.
    static Tango::DevState stateOf(const AxisSnapshot& s, std::string* status);
    // A position, distance or counter value as the port takes it: a whole number within the
    // controller's ±9,999,999. Throws DevFailed otherwise.
    static long long wholeSteps(double value, const char* what);

private:
    MotorPanelAxisClass& axisClass();
    void arrived(const AxisSnapshot& snapshot);  // from the watch's thread
    // Sends the commands and throws the port's refusal, if any, as a DevFailed. A command that
    // starts a move makes the axis MOVING at once, as the port counts it from its acceptance.
    void command(const std::string& commands, bool startsMove = false);
    char letter() const { return char('A' + channel_); }
    // The operator's steps per unit; a DevFailed naming `what` when the channel has no unit.
    double scaleLocked(const char* what);

    // What was last pushed, so that only changes go out.
    struct Pushed {
        Tango::DevDouble position = 0;
        Tango::DevState state = Tango::UNKNOWN;
        std::array<Tango::DevBoolean, 3> limits{};
        std::string outcome, status, unit;
    };

    int channel_ = -1;
    int token_ = 0;
    std::mutex mutex_;  // guards the fields below, written by the watch's thread
    AxisSnapshot snapshot_;
    std::uint64_t commandSequence_ = 0;  // snapshots from before the last command are stale
    std::string status_;
    Pushed pushed_;
    bool pushedAny_ = false;
    // Buffers that attribute reads hand to Tango; they must outlive the read.
    Tango::DevDouble position_ = 0;
    std::array<Tango::DevBoolean, 3> limits_{};
    Tango::DevBoolean hold_ = false;
    std::string speedText_;
    std::string outcomeText_;
    Tango::DevString speed_ = nullptr;
    Tango::DevString outcome_ = nullptr;
    Tango::DevDouble userPosition_ = 0;
    Tango::DevDouble stepsPerUnit_ = 0;
    std::string unitText_;
    Tango::DevString unit_ = nullptr;
};

}  // namespace MotorPanel_ns
