#pragma once

#include "replysink.h"

#include <QByteArray>

class PanelView;
class TableView;
struct PanelState;

// One entry for every complete reply. What a reply means is decided from the panel's state, not
// from its content: while the table is read it is a table value; otherwise it answers the current
// poll step and is accepted only when its length fits that step.
class ReplyInterpreter : public ReplySink {
public:
    ReplyInterpreter(PanelState& state, PanelView& view);

    // The setup window's table while it exists; replies during a table read go there.
    void setTable(TableView* table) { table_ = table; }

    void InterpretReply(const QByteArray& reply) override;

    // Every CR LF pair removed, anywhere; a lone CR or LF stays and counts in the length.
    static QByteArray Clean(const QByteArray& reply);
    // The poll step that follows an accepted reply at `step`.
    static int NextPollStep(int step, bool usbModel, bool fourChModel);

private:
    // The reply without the lines that are a command's refusal or acknowledgement, taken by the
    // axis book; the reply unchanged when it holds none.
    QByteArray TakeVerdicts(const QByteArray& reply);
    // True when the reply was recognised for the current step.
    bool Dispatch(const QByteArray& reply);
    void IdentifyModel(const QByteArray& reply);
    void SpeedReport(const QByteArray& reply);
    void CloseReply();

    PanelState& state_;
    PanelView& view_;
    TableView* table_ = nullptr;
};
