#pragma once

#include "tableview.h"

#include <QObject>
#include <QPointer>

class CommandLink;
class MessageSink;
class PanelView;
class SetupWindow;
struct PanelState;

// Brings the setup window to life: creates it on demand with its table read, table write and
// file logic, and reports when polling is to resume (return to the control screen, close).
class SetupController : public QObject {
    Q_OBJECT
public:
    SetupController(PanelState& state, CommandLink& link, const PanelView& panel, MessageSink& messages,
                    QObject* parent = nullptr);
    ~SetupController() override;

    // Shows the window (created afresh after a close) with the identified model's captions.
    void Open();
    SetupWindow* window() const;

    // The link went away under a running read or write: the sequence stops with a status line,
    // and the operator hears it once, from the link.
    void LinkLost();

signals:
    void pollingResumeRequested();
    // The table the reply interpreter stores into during a read: the window, or none.
    void tableChanged(TableView* table);

private:
    void create();
    void toControlScreen();
    void save();
    void load();

    PanelState& state_;
    CommandLink& link_;
    const PanelView& panel_;
    MessageSink& messages_;
    QPointer<SetupWindow> window_;
};
