#pragma once

#include "panelport.h"
#include "panelwatch.h"

#include <tango.h>

#include <memory>
#include <mutex>

namespace MotorPanel_ns {

// The MotorPanelAxis class: its attributes and commands, its devices, the one connection to the
// panel that all their commands share, and the watch that follows the panel on a second one. Where the port
// is and the token: the class properties AutomationPort (default 5025) and TokenFile (default: the panel's),
// or without a database the environment variables MOTOR_PANEL_AUTOMATION_PORT and MOTOR_PANEL_TOKEN_FILE.
class MotorPanelAxisClass : public Tango::DeviceClass {
public:
    static MotorPanelAxisClass* init(const char* name);
    ~MotorPanelAxisClass() override;

    // Opened with the class properties when the first device asks.
    PanelPort& port();
    PanelWatch& watch();

protected:
    explicit MotorPanelAxisClass(std::string& name);
    void command_factory() override;
    void attribute_factory(std::vector<Tango::Attr*>& attributes) override;
    void device_factory(const Tango::DevVarStringArray* devices) override;

private:
    PanelPort::Settings settings();

    static MotorPanelAxisClass* instance_;
    std::mutex mutex_;
    std::unique_ptr<PanelPort> port_;
    std::unique_ptr<PanelWatch> watch_;
};

}  // namespace MotorPanel_ns
