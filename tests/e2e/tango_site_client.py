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

from clientkit import need, wait
from tango_site import TangoSite

ON, MOVING = tango.DevState.ON, tango.DevState.MOVING
CHANNELS = "ABCD"
SOAK_S = 60.0  # events must hold well past Tango's ten-second heartbeat
WINDOW_S = 10.0
# The change events the soak holds, and the values each must have shown (positions: any).
SOAK_EVENTS = {"Position": set(), "State": {ON, MOVING}, "Outcome": {"MOVING", "DONE"}}


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


def refusal(call):
    """The DevFailed's description, or None when the call went through."""
    try:
        call()
    except tango.DevFailed as e:
        return e.args[0].desc
    return None


def home(axes):
    """The axes back at 0, written at once."""
    for d, reply in [(d, d.write_attribute_asynch("Position", 0)) for d in axes]:
        d.write_attribute_reply(reply, 5000)
    wait(lambda: idle(axes) and all(d.Position == 0 for d in axes), "the axes back at 0", 30)


def stop_and_abort_succeed(axes):
    """Stop and Abort, at once as the move starts and well under way: no DevFailed; the stopped
    move is Outcome's and Status's news, with the panel's reason."""
    home(axes)
    a = axes[0]
    for command in ("Stop", "Abort"):
        for halfway in (False, True):
            a.MoveRelative(-4000)
            if halfway:
                wait(lambda: a.Position < -300, f"{command}: under way")
            assert refusal(lambda: a.command_inout(command)) is None, (command, halfway)
            wait(lambda: a.state() != MOVING, f"{command}: the stop")
            assert a.Outcome == "STOPPED" and -4000 < a.Position <= 0, (command, halfway, a.Outcome)
            status = a.status()
            assert "STOPPED" in status and "A stopped at" in status and "STOP from client" in status, status
            home(axes[:1])


def writes_while_moving_are_refused(axes):
    """A Position write or MoveRelative while the channel moves: DevFailed at once; the move goes on."""
    a = axes[0]
    a.MoveRelative(2000)
    for call in (lambda: a.write_attribute("Position", 0), lambda: a.MoveRelative(5)):
        begin = time.monotonic()
        why = refusal(call)
        assert why is not None and "A is moving" in why, why
        assert time.monotonic() - begin < 0.5, time.monotonic() - begin
    wait(lambda: a.state() == ON, "the move's end")
    assert (a.Position, a.Outcome) == (2000, "DONE"), (a.Position, a.Outcome)
    home(axes[:1])


def writes_to_several_devices_all_move(axes):
    """2, 3 and 4 devices written one after the other, then at once: every move is taken."""
    for n in (2, 3, 4):
        for asynch in (False, True):
            targets = [(500 + 100 * i) * (-1 if asynch else 1) for i in range(n)]
            if asynch:
                replies = [(d, d.write_attribute_asynch("Position", t)) for d, t in zip(axes, targets)]
                for d, reply in replies:
                    d.write_attribute_reply(reply, 5000)
            else:
                for d, t in zip(axes, targets):
                    d.Position = t
            assert all(d.state() == MOVING for d in axes[:n]), (n, asynch, [d.state() for d in axes])
            wait(lambda: idle(axes[:n]), f"{n} devices, asynch={asynch}", 30)
            got = [(d.Position, d.Outcome) for d in axes[:n]]
            assert got == [(t, "DONE") for t in targets], (n, asynch, got)
    home(axes)


def a_scan_from_the_send_box_is_seen(axes):
    """Motion no device started (the operator's send box): MOVING, then ON once stopped."""
    b = axes[1]
    need("scan B")
    wait(lambda: b.state() == MOVING, "B seen moving", 5)
    assert b.Outcome == "MOVING" and b.read_attribute("Position").quality == tango.AttrQuality.ATTR_CHANGING
    wait(lambda: b.Position > 200, "the scan under way")
    b.Stop()
    wait(lambda: b.state() != MOVING, "the scan stopped")
    assert b.state() == ON and b.Outcome in ("STOPPED", "DONE"), (b.state(), b.Outcome)
    home(axes[1:2])


def user_position_in_the_operators_unit(axes):
    """With a unit (C: 400 per µm): UserPosition reads and moves in it, its unit property says
    which. Without one (D): 0 and "", and UserPosition is refused, saying why."""
    c, d = axes[2], axes[3]
    units = []  # what clients showing UserPosition are told of its unit
    heard = c.subscribe_event("UserPosition", tango.EventType.ATTR_CONF_EVENT,
                              lambda e: e.err or units.append(e.attr_conf.unit))
    need("units on C")
    wait(lambda: c.Step_per_unit == 400, "C's units")
    assert c.Unit == "µm" and c.get_attribute_config("UserPosition").unit == "um", c.Unit
    wait(lambda: units and units[-1] == "um", "the new unit's configuration event")
    c.unsubscribe_event(heard)
    c.UserPosition = 2.5
    wait(lambda: c.state() == ON and c.Position == 1000, "C at 2.5 µm")
    assert c.UserPosition == 2.5 and c.Outcome == "DONE", (c.UserPosition, c.Outcome)
    c.UserPosition = 0.00125  # half a step: away from zero, as the Python instrument rounds
    wait(lambda: c.state() == ON and c.Position == 1, "C at the nearest step")
    assert (d.Step_per_unit, d.Unit) == (0, ""), (d.Step_per_unit, d.Unit)
    for call in (lambda: d.UserPosition, lambda: d.write_attribute("UserPosition", 1.0)):
        why = refusal(call)
        assert why is not None and "no unit" in why, why
    home(axes[2:3])


CHECKS = [events_hold_while_axes_move, stop_and_abort_succeed, writes_while_moving_are_refused,
          writes_to_several_devices_all_move, a_scan_from_the_send_box_is_seen,
          user_position_in_the_operators_unit]


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
