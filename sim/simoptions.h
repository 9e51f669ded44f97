#pragma once

#include "simmodel.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

class SimController;

// What the command line asks of the program.
struct SimOptions {
    SimModel model = SimModel::Kelda;
    bool listen = false;
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 listenPort = 7777;
    bool pty = false;
    QString linkPath;
    QString serialDevice;
    bool ack = false;
    bool verbose = false;

    bool silent = false;
    int dropEvery = 0;
    int delayMs = 0;
    int splitBytes = 0;
    int splitGapMs = 25;
    int srqEvery = 0;
    int srqInside = 0;
    int garbageEvery = 0;
    int hangUpAfter = 0;
    int baud = 0;

    qint64 jogStep = 100;
    std::optional<qint64> cwLimit;
    std::optional<qint64> ccwLimit;
};

struct SimOptionsResult {
    std::optional<SimOptions> options;
    QString error;      // a bad option: the message to show
    bool exit = false;  // --help or --version was shown
};

SimOptionsResult parseSimOptions(const QStringList& arguments);

// Model-independent settings (faults, acknowledgements, motion) onto one controller.
void applySimOptions(const SimOptions& options, SimController& controller);
