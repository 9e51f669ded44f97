#include "scpilines.h"

#include <algorithm>

namespace Scpi {

std::vector<QByteArray> splitLine(QByteArrayView line) {
    std::vector<QByteArray> commands;
    char quote = 0;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const char c = i < line.size() ? line[i] : ';';
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';' || i == line.size()) {
            const QByteArrayView command = line.sliced(from, i - from);
            // Blank as the parser reads it: any other control byte is refused there, not dropped.
            const auto blank = [](char b) { return b == ' ' || b == '\t'; };
            if (!std::all_of(command.begin(), command.end(), blank)) {
                commands.push_back(command.toByteArray());
            }
            from = i + 1;
        }
    }
    if (quote != 0 && from < line.size()) {
        commands.push_back(line.sliced(from).toByteArray());  // a string never closed runs to the end
    }
    return commands;
}

bool looksLikeQuery(QByteArrayView command) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    qsizetype i = 0;
    while (i < command.size() && blank(command[i])) {
        ++i;
    }
    for (; i < command.size() && !blank(command[i]) && command[i] != '"' && command[i] != '\''; ++i) {
        if (command[i] == '?') {
            return true;
        }
    }
    return false;
}

QByteArrayView trimmed(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isBlank(text.back())) {
        text.chop(1);
    }
    return text;
}

QByteArray redacted(QByteArrayView line) {
    QByteArray out = line.toByteArray();
    qsizetype at = out.toUpper().indexOf("AUTH");
    while (at >= 0) {
        qsizetype keep = at + 4;
        if (out.mid(keep, 8).toUpper() == "ENTICATE") {
            keep += 8;
        }
        // Up to the end of this command: the next ";" outside quotes, or the end of the line.
        qsizetype end = keep;
        char quote = 0;
        for (; end < out.size() && (quote != 0 || out[end] != ';'); ++end) {
            if (quote != 0) {
                quote = out[end] == quote ? 0 : quote;
            } else if (out[end] == '"' || out[end] == '\'') {
                quote = out[end];
            }
        }
        const QByteArray hidden = " \"...\"";
        out = out.left(keep) + hidden + out.mid(end);
        const qsizetype next = keep + hidden.size();
        at = out.toUpper().indexOf("AUTH", next);
    }
    return out;
}

}  // namespace Scpi
