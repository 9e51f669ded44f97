#include "motorpanelaxisclass.h"

#include "motorpanelaxis.h"

#include <cstdlib>

namespace MotorPanel_ns {

namespace {
using Reader = void (MotorPanelAxis::*)(Tango::Attribute&);
using Writer = void (MotorPanelAxis::*)(Tango::WAttribute&);

// A scalar attribute read by the device's method.
template <Reader Read>
class ReadOnly : public Tango::Attr {
public:
    ReadOnly(const char* name, long type) : Tango::Attr(name, type, Tango::READ) {}
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override {
        (static_cast<MotorPanelAxis*>(dev)->*Read)(att);
    }
};

// A scalar attribute read and written by the device's methods.
template <Reader Read, Writer Write>
class ReadWrite : public Tango::Attr {
public:
    ReadWrite(const char* name, long type) : Tango::Attr(name, type, Tango::READ_WRITE) {}
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override {
        (static_cast<MotorPanelAxis*>(dev)->*Read)(att);
    }
    void write(Tango::DeviceImpl* dev, Tango::WAttribute& att) override {
        (static_cast<MotorPanelAxis*>(dev)->*Write)(att);
    }
};

class LimitSwitches : public Tango::SpectrumAttr {
public:
    LimitSwitches() : Tango::SpectrumAttr("Limit_switches", Tango::DEV_BOOLEAN, Tango::READ, 3) {}
    void read(Tango::DeviceImpl* dev, Tango::Attribute& att) override {
        static_cast<MotorPanelAxis*>(dev)->read_Limit_switches(att);
    }
};

// A class property, or without a database the environment variable that stands for it.
std::string property(Tango::DeviceClass& cl, const char* name, const char* variable) {
    if (Tango::Util::_UseDb) {
        try {
            Tango::DbData data;
            data.push_back(Tango::DbDatum(name));
            cl.get_db_class()->get_property(data);
            std::string value;
            if (!data[0].is_empty() && (data[0] >> value) && !value.empty()) {
                return value;
            }
        } catch (const Tango::DevFailed&) {
            // No property in reach: the default below.
        }
    }
    const char* value = std::getenv(variable);
    return value != nullptr ? value : "";
}
}  // namespace

MotorPanelAxisClass* MotorPanelAxisClass::instance_ = nullptr;

MotorPanelAxisClass::MotorPanelAxisClass(std::string& name) : Tango::DeviceClass(name) {}

MotorPanelAxisClass::~MotorPanelAxisClass() {
    watch_.reset();  // its thread ends before the port it uses goes
    port_.reset();
    instance_ = nullptr;
}

MotorPanelAxisClass* MotorPanelAxisClass::init(const char* name) {
    if (instance_ == nullptr) {
        std::string s(name);
        instance_ = new MotorPanelAxisClass(s);
    }
    return instance_;
}

PanelPort::Settings MotorPanelAxisClass::settings() {
    PanelPort::Settings s;
    const std::string port = property(*this, "AutomationPort", "MOTOR_PANEL_AUTOMATION_PORT");
    s.port = port.empty() ? 5025 : std::atoi(port.c_str());
    s.tokenFile = property(*this, "TokenFile", "MOTOR_PANEL_TOKEN_FILE");
    if (s.tokenFile.empty()) {
        s.tokenFile = PanelPort::defaultTokenFile();
    }
    return s;
}

PanelPort& MotorPanelAxisClass::port() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!port_) {
        port_ = std::make_unique<PanelPort>(settings());
    }
    return *port_;
}

PanelWatch& MotorPanelAxisClass::watch() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!watch_) {
        watch_ = std::make_unique<PanelWatch>(settings());
    }
    return *watch_;
}

void MotorPanelAxisClass::command_factory() {
    command_list.push_back(
        new Tango::TemplCommand("Stop", static_cast<Tango::CmdMethPtr>(&MotorPanelAxis::Stop)));
    command_list.push_back(
        new Tango::TemplCommand("Abort", static_cast<Tango::CmdMethPtr>(&MotorPanelAxis::Abort)));
    command_list.push_back(new Tango::TemplCommandIn<Tango::DevDouble>(
        "MoveRelative", static_cast<Tango::CmdMethPtr_Db>(&MotorPanelAxis::MoveRelative)));
    command_list.push_back(new Tango::TemplCommandIn<Tango::DevDouble>(
        "DefinePosition", static_cast<Tango::CmdMethPtr_Db>(&MotorPanelAxis::DefinePosition)));
    command_list.push_back(new Tango::TemplCommandIn<Tango::DevShort>(
        "Home", static_cast<Tango::CmdMethPtr_Sh>(&MotorPanelAxis::Home)));
}

void MotorPanelAxisClass::attribute_factory(std::vector<Tango::Attr*>& attributes) {
    auto* position = new ReadWrite<&MotorPanelAxis::read_Position, &MotorPanelAxis::write_Position>(
        "Position", Tango::DEV_DOUBLE);
    Tango::UserDefaultAttrProp steps;
    steps.set_unit("steps");
    steps.set_format("%d");
    steps.set_min_value("-9999999");  // the controller's counter, in either dialect
    steps.set_max_value("9999999");
    steps.set_description("The position counter; a write starts an absolute move there.");
    position->set_default_properties(steps);
    auto* user = new ReadWrite<&MotorPanelAxis::read_UserPosition, &MotorPanelAxis::write_UserPosition>(
        "UserPosition", Tango::DEV_DOUBLE);
    Tango::UserDefaultAttrProp inUnits;
    inUnits.set_description(
        "The position in the unit the operator set for the channel in the panel's chart (its unit "
        "property says which); a write moves to the nearest whole step. Refused without a unit.");
    user->set_default_properties(inUnits);
    auto* scale = new ReadOnly<&MotorPanelAxis::read_Step_per_unit>("Step_per_unit", Tango::DEV_DOUBLE);
    Tango::UserDefaultAttrProp perUnit;
    perUnit.set_description("Steps per unit, as the operator set it in the panel's chart; 0 for none.");
    scale->set_default_properties(perUnit);
    auto* unit = new ReadOnly<&MotorPanelAxis::read_Unit>("Unit", Tango::DEV_STRING);
    Tango::UserDefaultAttrProp unitName;
    unitName.set_description("The unit's name, as the operator set it in the panel's chart; empty for none.");
    unit->set_default_properties(unitName);
    auto* limits = new LimitSwitches;
    Tango::UserDefaultAttrProp order;
    order.set_description("Home sensor, upper (CW) limit switch, lower (CCW) limit switch.");
    limits->set_default_properties(order);
    auto* hold = new ReadWrite<&MotorPanelAxis::read_HoldOff, &MotorPanelAxis::write_HoldOff>(
        "HoldOff", Tango::DEV_BOOLEAN);
    auto* speed =
        new ReadWrite<&MotorPanelAxis::read_Speed, &MotorPanelAxis::write_Speed>("Speed", Tango::DEV_STRING);
    Tango::UserDefaultAttrProp one;
    one.set_description("H, M or L: one speed for the whole controller, all channels.");
    speed->set_default_properties(one);
    auto* outcome = new ReadOnly<&MotorPanelAxis::read_Outcome>("Outcome", Tango::DEV_STRING);
    // Pushed by the server when the port reports a change; no polling needed.
    position->set_change_event(true, false);
    limits->set_change_event(true, false);
    outcome->set_change_event(true, false);
    attributes.insert(attributes.end(), {position, limits, hold, speed, outcome, user, scale, unit});
}

void MotorPanelAxisClass::device_factory(const Tango::DevVarStringArray* devices) {
    for (CORBA::ULong i = 0; i < devices->length(); ++i) {
        std::string name((*devices)[i].in());
        auto* device = new MotorPanelAxis(this, name);
        device_list.push_back(device);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb) {
            export_device(device);
        } else {
            export_device(device, device->get_name().c_str());
        }
    }
}

}  // namespace MotorPanel_ns
