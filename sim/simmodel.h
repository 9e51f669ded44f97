#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The three controller models differ in channel count and in command dialect: the network model
// speaks the "S…" dialect, the two USB models the mnemonic one ("PS?", "REL", "STS").
enum class SimModel { Kelda, Runel, Vasko };

struct SimModelInfo {
    SimModel model;
    QByteArray name;     // "KELDA-01"
    int channels;        // 2 or 4
    bool usbDialect;     // RUNEL-01 and VASKO-01
    QByteArray version;  // the firmware-version reply
};

const SimModelInfo& simModelInfo(SimModel model);

// Accepts the model name in either case; nothing for an unknown name.
std::optional<SimModel> simModelFromName(const QString& name);
