#!/usr/bin/python3
"""Tango clients (Debian's PyTango) on a Tango site of their own: MariaDB, the database server and
motor-panel-tango registered and started as a site starts it (tango_site.py).

Usage: tango_site_client.py FOLDER SERVER PORT TOKEN_FILE. FOLDER: the site's work folder (wiped);
SERVER: the motor-panel-tango program; PORT, TOKEN_FILE: the automation port of a panel connected
to a simulated VASKO-01, every channel at 0 and idle. The devices lab/motor-panel/a to d drive
channels A to D. Where the panel must change, a check prints "NEED <what>" and waits for "ok" on
its input. Each check prints "ok <name>"; the exit status is 0 when every one held.
"""
import os
import sys
import time

import tango

from tango_site import TangoSite

ON, MOVING = tango.DevState.ON, tango.DevState.MOVING
CHANNELS = "ABCD"
SOAK_S = 60.0  # events must hold well past Tango's ten-second heartbeat
WINDOW_S = 10.0
# The change events the soak holds, and the values each must have shown (positions: any).
SOAK_EVENTS = {"Position": set(), "State": {ON, MOVING}, "Outcome": {"MOVING", "DONE"}}


def need(what):
    print("NEED", what, flush=True)
    assert sys.stdin.readline().strip() == "ok", what


def wait(check, what, timeout=15.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if check():
            return
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


def idle(axes):
    return all(d.state() == ON for d in axes)


def events_hold_while_axes_move(axes):
    """Subscriptions on two devices last a minute of moves back and forth, events all along."""
    moving = axes[:2]
    events = {}  # (device, attribute) -> [(time, value)]
    errors = []

    def listener(key):
        def on(event):
            if event.err:
                errors.append(f"{key}: {event.errors[0].reason} {event.errors[0].desc}")
            else:
                events[key].append((time.monotonic(), event.attr_value.value))
        return on

    subscriptions = []
    for d in moving:
        for attribute in SOAK_EVENTS:
            events[(d.name(), attribute)] = []
            subscriptions.append((d, d.subscribe_event(attribute, tango.EventType.CHANGE_EVENT,
                                                       listener((d.name(), attribute)))))
    start = time.monotonic()
    legs = 0
    while time.monotonic() - start < SOAK_S:
        there = legs % 2 == 0
        moving[0].MoveRelative(3000 if there else -3000)
        moving[1].Position = 2000 if there else 0
        wait(lambda: idle(moving), f"leg {legs}")
        assert [d.Outcome for d in moving] == ["DONE", "DONE"], [d.Outcome for d in moving]
        legs += 1
    wait(lambda: all(events[(d.name(), "Position")][-1][1] == d.Position for d in moving), "the last positions")
    for d, subscription in subscriptions:
        d.unsubscribe_event(subscription)

    assert not errors, errors[:5]
    for d in moving:
        seen = [t - start for t, _ in events[(d.name(), "Position")]]
        quiet = [k for k in range(int(SOAK_S // WINDOW_S))
                 if not any(k * WINDOW_S <= t < (k + 1) * WINDOW_S for t in seen)]
        assert not quiet, f"{d.name()}: no position event in the windows {quiet} of {WINDOW_S} s"
        for attribute, expected in SOAK_EVENTS.items():
            shown = {v for _, v in events[(d.name(), attribute)]}
            assert expected <= shown, (d.name(), attribute, shown)
    print(f"   {legs} legs, {sum(len(v) for v in events.values())} events", flush=True)


CHECKS = [events_hold_while_axes_move]


def main():
    folder, server, port, token = sys.argv[1:5]
    devices = {f"lab/motor-panel/{c.lower()}": c for c in CHANNELS}
    # The server's endpoints on the loopback only: nothing of the test on the machine's network.
    with TangoSite(folder, server, "site", devices, {"AutomationPort": port, "TokenFile": token},
                   server_args=["-ORBendPoint", "giop:tcp:127.0.0.1:"]) as site:
        print(f"site up in {site.started_in:.1f} s, TANGO_HOST={site.tango_host}", flush=True)
        os.environ["TANGO_HOST"] = site.tango_host
        axes = [tango.DeviceProxy(name) for name in site.names()]
        wait(lambda: idle(axes), "every axis ON")
        for check in CHECKS:
            begin = time.monotonic()
            check(axes)
            print(f"ok {check.__name__} ({time.monotonic() - begin:.0f} s)", flush=True)
    # The server ends on a stop as Tango servers do, cleanly (also under the sanitizers).
    server_name = os.path.basename(server)
    assert site.exit_codes[server_name] == 0, site.output[server_name][-4000:]
    print("tango site client: all checks passed", flush=True)


if __name__ == "__main__":
    main()
