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

// A unit in the attribute configuration is read as UTF-8 by some clients (PyTango 9.3) and as
// Latin-1 by others: only ASCII reads the same in all. Micro and degree keep their usual
// spellings; the Unit attribute keeps the operator's own text.
std::string asciiUnit(const std::string& latin1) {
    std::string out;
    for (const char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        out += u == 0xB5 ? "u" : u == 0xB0 ? "deg" : u < 0x80 ? std::string(1, c) : "?";
    }
    return out;
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
    set_change_event("Status", true, false);
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
    if (s.motion == "MOVING" || s.busy) {
        say("Moving, at " + s.positionText);
        return Tango::MOVING;
    }
    // The last move's own reason, as the panel words it: "A stopped at +0001373, target ...".
    const std::string why = s.reason.empty() ? std::string() : ": " + s.reason;
    if (s.cw || s.ccw || s.motion == "LIMIT") {
        say((s.cw    ? "At the upper (CW) limit switch, at " + s.positionText
             : s.ccw ? "At the lower (CCW) limit switch, at " + s.positionText
                     : "The last move ended at a limit, at " + s.positionText) +
            (s.motion == "LIMIT" ? ", the last move LIMIT" + why : std::string()));
        return Tango::ALARM;
    }
    if (s.motion == "ERROR") {
        say("The last move ended in an error, at " + s.positionText + why);
        return Tango::FAULT;
    }
    say("Idle at " + s.positionText +
        (s.motion == "NONE" ? std::string() : ", the last move " + s.motion + why));
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
    std::string status;
    const Tango::DevState state = stateOf(s, &status);
    const std::string outcome = s.reachable ? s.motion : "UNKNOWN";
    const std::array<Tango::DevBoolean, 3> limits{s.hp, s.cw, s.ccw};
    Pushed now{s.position.value_or(0), state, limits, outcome, status, s.unit};
    Pushed before;
    bool first = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (s.reachable && s.sequence < commandSequence_) {
            return;  // asked before the last command went out
        }
        snapshot_ = s;
        if (!s.position) {
            now.position = pushed_.position;
        }
        first = !pushedAny_;
        before = pushed_;
        pushed_ = now;
        pushedAny_ = true;
    }
    const bool position = s.position && (first || now.position != before.position);
    const bool stateChanged = first || now.state != before.state;
    const bool limitsChanged = first || now.limits != before.limits;
    const bool outcomeChanged = first || now.outcome != before.outcome;
    const bool statusChanged = first || now.status != before.status;
    const bool unitChanged = first || now.unit != before.unit;
    if (!position && !stateChanged && !limitsChanged && !outcomeChanged && !statusChanged && !unitChanged) {
        return;
    }
    try {
        // Pushed as any attribute is served: under the device's monitor.
        Tango::AutoTangoMonitor guard(this);
        if (unitChanged) {
            // UserPosition's unit is the operator's, shown by every client that reads the config.
            // Set in the server alone: it is the panel's, and no database keeps it (nor is there
            // one to write to when standalone).
            Tango::AttributeConfig_5 config;
            Tango::Attribute& user = get_device_attr()->get_attr_by_name("UserPosition");
            user.get_properties(config);
            config.unit = CORBA::string_dup(asciiUnit(now.unit).c_str());
            std::vector<Tango::Attribute::AttPropDb> notStored;
            std::string name = get_name();
            user.set_properties(config, name, false, notStored);
            push_att_conf_event(&user);  // clients showing the unit hear of the new one
        }
        if (position) {
            Tango::DevDouble value = now.position;
            push_change_event("Position", &value);
        }
        if (stateChanged || statusChanged) {
            // The State and Status events carry the device's own, which Tango reads: set them first.
            set_state(state);
            set_status(status);
        }
        if (stateChanged) {
            push_change_event("State");
        }
        if (statusChanged) {
            push_change_event("Status");
        }
        if (limitsChanged) {
            std::array<Tango::DevBoolean, 3> value = limits;
            push_change_event("Limit_switches", value.data(), 3);
        }
        if (outcomeChanged) {
            Tango::DevString value = const_cast<char*>(now.outcome.c_str());
            push_change_event("Outcome", &value);
        }
    } catch (const Tango::DevFailed&) {
        // The monitor was busy too long (an Init running): the next change goes out.
        const std::lock_guard<std::mutex> lock(mutex_);
        pushedAny_ = false;
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
    std::string refusal;
    std::uint64_t sequence = 0;
    try {
        refusal = axisClass().port().command(commands, &sequence);
    } catch (const PanelPort::Unreachable& e) {
        refuse("MotorPanel_Unreachable", e.what(), "MotorPanelAxis");
    }
    if (!refusal.empty()) {
        refuse("MotorPanel_Refused", "The panel refused " + commands + ": " + refusal, "MotorPanelAxis");
    }
    if (startsMove) {
        const std::lock_guard<std::mutex> lock(mutex_);
        commandSequence_ = sequence;
        snapshot_.motion = "MOVING";
        snapshot_.reason.clear();
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

double MotorPanelAxis::scaleLocked(const char* what) {
    if (!(snapshot_.stepsPerUnit > 0)) {
        refuse("MotorPanel_NoUnit",
               std::string(what) + ": channel " + letter() +
                   " has no unit; the operator sets one in the panel's chart (Units), and Position "
                   "stays in steps",
               "MotorPanelAxis");
    }
    return snapshot_.stepsPerUnit;
}

void MotorPanelAxis::read_UserPosition(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const double scale = scaleLocked("UserPosition");
    if (!snapshot_.position) {
        std::string why;
        stateOf(snapshot_, &why);
        refuse("MotorPanel_NoPosition", "No position known: " + why, "MotorPanelAxis::read_UserPosition");
    }
    userPosition_ = *snapshot_.position / scale;
    att.set_value(&userPosition_);
    if (snapshot_.motion == "MOVING") {
        att.set_quality(Tango::ATTR_CHANGING);
    }
}

void MotorPanelAxis::write_UserPosition(Tango::WAttribute& att) {
    Tango::DevDouble value = 0;
    att.get_write_value(value);
    double scale = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        scale = scaleLocked("UserPosition");
    }
    // The nearest whole step: a unit seldom divides into steps exactly.
    const double steps = std::isfinite(value) ? std::round(value * scale) : value;
    command("MOVE:ABS " + std::string(1, letter()) + "," + std::to_string(wholeSteps(steps, "UserPosition")),
            true);
}

void MotorPanelAxis::read_Step_per_unit(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    stepsPerUnit_ = snapshot_.stepsPerUnit;
    att.set_value(&stepsPerUnit_);
}

void MotorPanelAxis::read_Unit(Tango::Attribute& att) {
    const std::lock_guard<std::mutex> lock(mutex_);
    unitText_ = snapshot_.unit;
    unit_ = const_cast<char*>(unitText_.c_str());
    att.set_value(&unit_);
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

// A stop succeeds when it went out; how the stopped move ended is the Outcome's and Status's news.
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
