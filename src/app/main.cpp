#include "application.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("motor-panel"));
    // No display name: on X11 Qt appends it to every window title, and each window's title is
    // its own, exactly.
    // One style everywhere, so the panel's colours look the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Application app;
    // "Quit" ends the program at once: exit() leaves the event loop without asking the windows,
    // so the main window's close guard does not apply to it.
    QObject::connect(
        &app, &Application::quitRequested, &qapp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    app.window.show();
    return QApplication::exec();
}
