#include "motorpanelaxis.h"

#include "motorpanelaxisclass.h"

#include <cctype>
#include <cmath>

namespace MotorPanel_ns {

namespace {
constexpr double kValueLimit = 9'999'999;  // the controller's, in either dialect

[[noreturn]] void refuse(const char* reason, const std::string& description, const char* origin) {
    Tango::Except::throw_exception(reason, description, origin);
}

std::string panelWords(const std::string& panelState) {
    if (panelState == "NO SESSION") {
        return "the panel has no session with a controller";
    }
    if (panelState == "SETUP OPEN") {
        return "the panel's setup window is open";
    }
    if (panelState == "SCRIPTS ABORTED") {
        return "the operator aborted scripts in the panel";
    }
    return "the panel takes no commands (" + panelState + ")";
}
}  // namespace

MotorPanelAxis::MotorPanelAxis(Tango::DeviceClass* cl, std::string& name)
    : Tango::Device_5Impl(cl, name.c_str()) {
    init_device();
}

MotorPanelAxis::~MotorPanelAxis() {
    // The watch thread may be telling this device a snapshot right now (a device deleted by its
    // server's admin device): it has finished before the device goes.
    if (token_ != 0) {
        axisClass().watch().unwatch(token_, true);
        token_ = 0;
    }
}

MotorPanelAxisClass& MotorPanelAxis::axisClass() {
    return *static_cast<MotorPanelAxisClass*>(get_device_class());
}

int MotorPanelAxis::channelOf(const std::string& property, const std::string& deviceName) {
    const auto letter = [](const std::string& text) {
        return text.size() == 1 && std::toupper(static_cast<unsigned char>(text[0])) >= 'A' &&
                       std::toupper(static_cast<unsigned char>(text[0])) <= 'D'
                   ? std::toupper(static_cast<unsigned char>(text[0])) - 'A'
                   : -1;
    };
    if (!property.empty()) {
        return letter(property);
    }
    const size_t slash = deviceName.rfind('/');
    return letter(slash == std::string::npos ? deviceName : deviceName.substr(slash + 1));
}

void MotorPanelAxis::init_device() {
    std::string property;
    if (Tango::Util::_UseDb) {
        try {
            Tango::DbData data;
            data.push_back(Tango::DbDatum("Channel"));
            get_db_device()->get_property(data);
            if (!data[0].is_empty()) {
                data[0] >> property;
            }
        } catch (const Tango::DevFailed&) {
            // No database in reach: the device name decides.
        }
    }
    channel_ = channelOf(property, get_name());
    set_change_event("State", true, false);
    if (channel_ < 0) {
        const std::lock_guard<std::mutex> lock(mutex_);
        status_ =
            "No channel: give the device property Channel (A to D), or end the device name in one of "
            "those letters";
        return;
    }
    status_ = "Waiting for the panel";
    token_ = axisClass().watch().watch(channel_, [this](const AxisSnapshot& s) { arrived(s); });
}

void MotorPanelAxis::delete_device() {
    if (token_ != 0) {
        axisClass().watch().unwatch(token_);
        token_ = 0;
    }
}

Tango::DevState MotorPanelAxis::stateOf(const AxisSnapshot& s, std::string* status) {
    const auto say = [status](const std::string& words) {
        if (status != nullptr) {
            *status = words;
        }
    };
    if (!s.reachable) {
        say(s.problem.empty() ? "Waiting for the panel" : "The panel cannot be used: " + s.problem);
        return Tango::UNKNOWN;
    }
    if (s.panelState != "READY") {
        say("Disabled: " + panelWords(s.panelState));
        return Tango::DISABLE;
    }
    if (s.positionText.empty()) {
        say("Disabled: the controller has " + std::to_string(s.channels) + " channels");
        return Tango::DISABLE;
    }
    if (s.motion == "MOVING") {
        say("Moving, at " + s.positionText);
        return Tango::MOVING;
    }
    if (s.cw || s.ccw || s.motion == "LIMIT") {
        say(s.cw    ? "At the upper (CW) limit switch, at " + s.positionText
            : s.ccw ? "At the lower (CCW) limit switch, at " + s.positionText
                    : "The last move ended at a limit, at " + s.positionText);
        return Tango::ALARM;
    }
    if (s.motion == "ERROR") {
        say("The last move ended in an error (the panel's Automation window says why), at " + s.positionText);
        return Tango::FAULT;
    }
    say("Idle at " + s.positionText + (s.motion == "NONE" ? std::string() : ", the last move " + s.motion));
    return Tango::ON;
}

Tango::DevState MotorPanelAxis::dev_state() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const Tango::DevState state = channel_ < 0 ? Tango::FAULT : stateOf(snapshot_, &status_);
    set_state(state);
    return state;
}

Tango::ConstDevString MotorPanelAxis::dev_status() {
    dev_state();
    const std::lock_guard<std::mutex> lock(mutex_);
    set_status(status_);
    return Tango::DeviceImpl::dev_status();
}

void MotorPanelAxis::arrived(const AxisSnapshot& s) {
    const Tango::DevState state = stateOf(s, nullptr);
    const std::array<Tango::DevBoolean, 3> limits{s.hp, s.cw, s.ccw};
    bool position = false;
    bool stateChanged = false;
    bool limitsChanged = false;
    Tango::DevDouble value = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (s.reachable && s.sequence < commandSequence_) {
            return;  // asked before the last command went out
        }
        snapshot_ = s;
        position = s.position && (!pushed_ || *s.position != pushedPosition_);
        stateChanged = !pushed_ || state != pushedState_;
        limitsChanged = !pushed_ || limits != pushedLimits_;
        pushed_ = true;
        pushedPosition_ = value = s.position.value_or(pushedPosition_);
        pushedState_ = state;
        pushedLimits_ = limits;
    }
    if (!position && !stateChanged && !limitsChanged) {
        return;
    }
    try {
        // Pushed as any attribute is served: under the device's monitor.
        Tango::AutoTangoMonitor guard(this);
        std::array<Tango::DevBoolean, 3> pushedLimits = limits;
        if (position) {
            push_change_event("Position", &value);
        }
        if (stateChanged) {
            // The State event carries the device's own state, which Tango reads: set it first.
            set_state(state);
            push_change_event("State");
        }
        if (limitsChanged) {
            push_change_event("Limit_switches", pushedLimits.data(), 3);
        }
    } catch (const Tango::DevFailed&) {
        // The monitor was busy too long (an Init running): the next change goes out.
        const std::lock_guard<std::mutex> lock(mutex_);
        pushed_ = false;
    }
}

long long MotorPanelAxis::wholeSteps(double value, const char* what) {
    if (!std::isfinite(value)) {
        refuse("MotorPanel_BadValue", std::string(what) + " must be a finite number of steps",
               "MotorPanelAxis");
    }
    if (value != std::round(value)) {
        refuse("MotorPanel_BadValue",
               std::string(what) + " must be a whole number of steps, not " + std::to_string(value),
               "MotorPanelAxis");
    }
    if (std::fabs(value) > kValueLimit) {
        refuse("MotorPanel_BadValue",
               std::string(what) + " " + std::to_string(static_cast<long long>(value)) +
                   " is beyond the controller's limit of 9999999 steps",
               "MotorPanelAxis");
    }
    return static_cast<long long>(value);
}

void MotorPanelAxis::command(const std::string& commands, bool startsMove) {
    if (channel_ < 0) {
        refuse("MotorPanel_NoChannel", status_, "MotorPanelAxis");
    }
    std::vector<std::string> answer;
    std::uint64_t sequence = 0;
    try {
        // The queue is emptied first, so the error read back is this command's.
        answer = axisClass().port().exchange("*CLS;" + commands + ";SYST:ERR?", 1, &sequence);
    } catch (const PanelPort::Unreachable& e) {
        refuse("MotorPanel_Unreachable", e.what(), "MotorPanelAxis");
    }
    if (answer.front() != "0,\"No error\"") {
        refuse("MotorPanel_Refused", "The panel refused " + commands + ": " + answer.front(),
               "MotorPanelAxis");
    }
    if (startsMove) {
        const std::lock_guard<std::mutex> lock(mutex_);
        commandSequence_ = sequence;
        snapshot_.motion = "MOVING";
    }
    axisClass().watch().hurry();
}

void MotorPanelAxis::read_Position(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!snapshot_.position) {
        std::string why;
        stateOf(snapshot_, &why);
        refuse("MotorPanel_NoPosition", "No position known: " + why, "MotorPanelAxis::read_Position");
    }
    position_ = *snapshot_.position;
    att.set_value(&position_);
    // The Tango way of saying that the value is on its way: scan tools (Sardana's attribute
    // motor) take CHANGING for a motor still moving.
    if (snapshot_.motion == "MOVING") {
        att.set_quality(Tango::ATTR_CHANGING);
    }
}

void MotorPanelAxis::write_Position(Tango::WAttribute& att) {
    Tango::DevDouble value = 0;
    att.get_write_value(value);
    command("MOVE:ABS " + std::string(1, letter()) + "," + std::to_string(wholeSteps(value, "Position")),
            true);
}

void MotorPanelAxis::read_Limit_switches(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    limits_ = {snapshot_.hp, snapshot_.cw, snapshot_.ccw};
    att.set_value(limits_.data(), 3);
}

void MotorPanelAxis::read_HoldOff(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    hold_ = snapshot_.hold;
    att.set_value(&hold_);
}

void MotorPanelAxis::write_HoldOff(Tango::WAttribute& att) {
    Tango::DevBoolean on = false;
    att.get_write_value(on);
    command("HOLD " + std::string(1, letter()) + (on ? ",ON" : ",OFF"));
}

void MotorPanelAxis::read_Speed(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    speedText_ = std::string(1, snapshot_.speed);
    speed_ = const_cast<char*>(speedText_.c_str());
    att.set_value(&speed_);
}

void MotorPanelAxis::write_Speed(Tango::WAttribute& att) {
    Tango::DevString value = nullptr;
    att.get_write_value(value);
    std::string speed(value != nullptr ? value : "");
    for (char& c : speed) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (speed != "H" && speed != "M" && speed != "L") {
        refuse("MotorPanel_BadValue", "Speed is H, M or L (one for the whole controller), not " + speed,
               "MotorPanelAxis::write_Speed");
    }
    command("SPEED " + speed);
}

void MotorPanelAxis::read_Outcome(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    outcomeText_ = snapshot_.reachable ? snapshot_.motion : "UNKNOWN";
    outcome_ = const_cast<char*>(outcomeText_.c_str());
    att.set_value(&outcome_);
}

void MotorPanelAxis::Stop() {
    command("STOP " + std::string(1, letter()));
}

// The controller has one stop, which ends a move at once: Abort sends it too.
void MotorPanelAxis::Abort() {
    command("STOP " + std::string(1, letter()));
}

void MotorPanelAxis::MoveRelative(Tango::DevDouble steps) {
    command("MOVE:REL " + std::string(1, letter()) + "," + std::to_string(wholeSteps(steps, "MoveRelative")),
            true);
}

void MotorPanelAxis::DefinePosition(Tango::DevDouble position) {
    command("PRES " + std::string(1, letter()) + "," + std::to_string(wholeSteps(position, "DefinePosition")),
            true);
}

void MotorPanelAxis::Home(Tango::DevShort direction) {
    if (direction != 1 && direction != -1) {
        refuse("MotorPanel_BadValue", "Home takes +1 (CW) or -1 (CCW), not " + std::to_string(direction),
               "MotorPanelAxis::Home");
    }
    command("HOME " + std::string(1, letter()) + (direction > 0 ? ",+" : ",-"), true);
}

}  // namespace MotorPanel_ns
