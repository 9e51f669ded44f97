#pragma once

#include "linkkeeper.h"
#include "sessiontarget.h"

// The automation port's way to the session: the link keeper's, which opens it as the Connect dialog
// does and tells a failure without a box.
class PanelSessionTarget : public SessionTarget {
public:
    explicit PanelSessionTarget(LinkKeeper& keeper) : keeper_(keeper) {}

    QString openSession(bool lan, const QString& host, const QString& port, int client) override {
        return keeper_.open(LinkRequest{lan, host, port}, LinkKeeper::Source::Script, client);
    }
    void closeSession(const QString& why) override { keeper_.close(why); }

private:
    LinkKeeper& keeper_;
};
