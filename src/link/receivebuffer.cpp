#include "receivebuffer.h"

#include <utility>

QByteArrayList gatherReceived(QByteArray& buffer, bool& discarding, QByteArrayView piece, qsizetype cap) {
    if (discarding) {
        const qsizetype lf = piece.indexOf('\n');
        if (lf < 0) {
            return {};
        }
        piece = piece.sliced(lf + 1);
        discarding = false;
    }
    buffer += piece;
    QByteArrayList replies;
    if (buffer.size() > cap) {
        QByteArray complete;
        qsizetype from = 0;
        for (qsizetype lf = buffer.indexOf('\n'); lf >= 0; lf = buffer.indexOf('\n', from)) {
            if (lf + 1 - from <= cap) {
                complete += QByteArrayView(buffer).sliced(from, lf + 1 - from);
            }
            from = lf + 1;
        }
        buffer.remove(0, from);
        if (buffer.size() > cap) {
            buffer.clear();
            discarding = true;
        }
        if (!complete.isEmpty()) {
            replies.append(complete);
        }
    }
    if (buffer.endsWith('\n')) {
        // Taken out before the hand-over: should the interpreter's work open a box whose event
        // loop delivers more data, that data starts a fresh buffer instead of repeating this one.
        replies.append(std::exchange(buffer, QByteArray()));
    }
    return replies;
}
