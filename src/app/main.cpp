#include "application.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("motor-panel"));
    QApplication::setApplicationDisplayName(QStringLiteral("KELDA-01 control"));
    // One style everywhere, so the panel's colours look the same on every desktop.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    Application app;
    QObject::connect(&app, &Application::quitRequested, &qapp, &QApplication::quit, Qt::QueuedConnection);
    app.window.show();
    return QApplication::exec();
}
