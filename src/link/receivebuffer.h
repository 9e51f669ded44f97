#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

// Appends a piece of received bytes to a receive buffer and returns the reply texts to hand over,
// oldest first. Normally at most one: the whole buffer once its last byte is LF. Past `cap` the
// buffer is bounded: a line longer than `cap` (counted with its LF) is discarded up to and
// including its own LF, the complete lines before it are handed over, and every byte after that
// LF is kept. `discarding` carries an overlong line that has not reached its LF yet across pieces.
QByteArrayList gatherReceived(QByteArray& buffer, bool& discarding, QByteArrayView piece, qsizetype cap);
