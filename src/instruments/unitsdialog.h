#pragma once

#include "channelunits.h"

#include <QDialog>
#include <array>

class MessageSink;
class QLineEdit;

// The chart's units, channel by channel: pulses per unit and the unit's name. OK takes them only
// when every scale given is a positive number; a wrong one is told and the dialog stays open.
class UnitsDialog : public QDialog {
    Q_OBJECT
public:
    UnitsDialog(const ChannelUnits& units, MessageSink& messages, QWidget* parent = nullptr);

    // What the operator set; valid once accepted.
    const ChannelUnits& units() const { return units_; }

    void accept() override;

private:
    ChannelUnits units_;
    MessageSink& messages_;
    std::array<QLineEdit*, 4> scale_{};
    std::array<QLineEdit*, 4> name_{};
};
