#include "linkrequest.h"

std::optional<LinkRequest> LinkRequest::parse(const QString& text) {
    const qsizetype colon = text.indexOf(u':');
    const QString kind = text.left(colon).toLower();
    const QString rest = text.mid(colon + 1);
    if (colon < 0 || rest.isEmpty()) {
        return std::nullopt;
    }
    if (kind == QStringLiteral("usb")) {
        return LinkRequest{false, QString(), rest};
    }
    if (kind != QStringLiteral("lan")) {
        return std::nullopt;
    }
    LinkRequest link{true, rest, QString::number(kDefaultPort)};
    qsizetype portColon = -1;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || (close + 1 < rest.size() && rest[close + 1] != u':')) {
            return std::nullopt;
        }
        link.host = rest.mid(1, close - 1);
        portColon = close + 1 < rest.size() ? close + 1 : -1;
    } else if (rest.count(u':') == 1) {
        // More than one colon is an IPv6 address without a port.
        portColon = rest.indexOf(u':');
        link.host = rest.left(portColon);
    }
    if (portColon >= 0) {
        link.port = rest.mid(portColon + 1);
    }
    if (link.host.isEmpty() || link.port.isEmpty()) {
        return std::nullopt;
    }
    return link;
}

QString LinkRequest::text() const {
    if (!lan) {
        return QStringLiteral("usb:") + port;
    }
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("lan:%1:%2").arg(shown, port);
}
