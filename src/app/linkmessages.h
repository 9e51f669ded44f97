#pragma once

#include "linkkeeper.h"
#include "messages.h"

// The message sink the panel's logic is given. A box about the link that nobody is there to answer
// (the panel started unattended, or reconnecting) goes to the link keeper, which tells it in the
// status bar and the log; every other box is shown by the sink behind, as always.
class LinkMessages : public MessageSink {
public:
    explicit LinkMessages(MessageSink& boxes) : boxes_(boxes) {}
    void setKeeper(LinkKeeper* keeper) { keeper_ = keeper; }

    void showMessage(const QString& text, const QString& title, Icon icon) override {
        if (keeper_ == nullptr || !keeper_->divert(text)) {
            boxes_.showMessage(text, title, icon);
        }
    }

private:
    MessageSink& boxes_;
    LinkKeeper* keeper_ = nullptr;
};
