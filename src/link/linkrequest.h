#pragma once

#include <QString>
#include <optional>

// Where a session goes, as the Connect dialog's fields give it: typed by the operator, or given on
// the command line (--connect lan:HOST[:PORT], usb:PORT) or by a script (SYST:CONN).
struct LinkRequest {
    // The dialog's PortNo before the operator changes it.
    static constexpr int kDefaultPort = 7777;

    bool lan = true;
    QString host;  // the network link's host name or address
    QString port;  // network: the TCP port's text; USB: the COM box's text, a number or a device path

    // "lan:HOST[:PORT]" (an IPv6 address with a port in brackets) or "usb:PORT"; nothing when the
    // text is neither. The port is taken as its text: the session checks it as the dialog does.
    static std::optional<LinkRequest> parse(const QString& text);
    // The same form, for what the panel says about the link.
    QString text() const;
};
