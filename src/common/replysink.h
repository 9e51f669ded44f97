#pragma once

#include <QByteArray>

// Entry of the reply interpreter: every complete reply text, CR LF included, from either link
// (and from the table read's own receive step) goes here.
class ReplySink {
public:
    virtual ~ReplySink() = default;
    virtual void InterpretReply(const QByteArray& reply) = 0;
};
