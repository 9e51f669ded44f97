// motor-panel-tango: every channel of the controller a running panel serves, as a Tango motor.
//
// With the site's Tango database:
//   motor-panel-tango INSTANCE
// Standalone, reached as tango://127.0.0.1:PORT/lab/motor-panel/a#dbase=no:
//   motor-panel-tango INSTANCE -nodb -dlist lab/motor-panel/a,lab/motor-panel/b
//                     -ORBendPoint giop:tcp:127.0.0.1:PORT
#include "motorpanelaxisclass.h"

#include <tango.h>

#include <iostream>

void Tango::DServer::class_factory() {
    add_class(MotorPanel_ns::MotorPanelAxisClass::init("MotorPanelAxis"));
}

int main(int argc, char* argv[]) {
    try {
        Tango::Util* tango = Tango::Util::init(argc, argv);
        tango->server_init(false);
        std::cout << "Ready to accept request" << std::endl;
        tango->server_run();
    } catch (const std::bad_alloc&) {
        std::cerr << "motor-panel-tango: out of memory" << std::endl;
        return 1;
    } catch (const CORBA::Exception& e) {
        Tango::Except::print_exception(e);
        return 1;
    }
    Tango::Util::instance()->server_cleanup();
    return 0;
}
