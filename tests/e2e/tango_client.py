#!/usr/bin/python3
"""A Tango client (Debian's PyTango) against motor-panel-tango, which serves the running panel.

Usage: tango_client.py PORT BAD_PORT. PORT: the server of lab/motor-panel/a and b, in front of a
panel connected to a simulated KELDA-01 whose channel A stands at 0 with its CW switch at +5000.
BAD_PORT: a server whose token file is missing. Where the panel must change, the script prints
"NEED <what>" and waits for "ok" on its input. Exit status 0 when every check held.
"""
import math
import sys

import tango

from clientkit import need, wait

ON, MOVING, ALARM = tango.DevState.ON, tango.DevState.MOVING, tango.DevState.ALARM


def proxy(port, name):
    return tango.DeviceProxy(f"tango://127.0.0.1:{port}/lab/motor-panel/{name}#dbase=no")


def refused(call, what):
    try:
        call()
    except tango.DevFailed as e:
        assert e.args[0].desc, what
        return e.args[0].desc
    raise AssertionError(f"no DevFailed for {what}")


def main():
    port, bad_port = sys.argv[1], sys.argv[2]
    a, b = proxy(port, "a"), proxy(port, "b")
    wait(lambda: a.state() == ON and b.state() == ON, "both axes ON")

    positions, states = [], []
    subscriptions = [
        a.subscribe_event("Position", tango.EventType.CHANGE_EVENT,
                          lambda e: e.err or positions.append(e.attr_value.value)),
        a.subscribe_event("State", tango.EventType.CHANGE_EVENT,
                          lambda e: e.err or states.append(e.attr_value.value)),
    ]

    # An absolute move: MOVING at once, ON at its target, the change events on the way.
    a.Position = 1000
    assert a.state() == MOVING, a.state()
    assert a.read_attribute("Position").quality == tango.AttrQuality.ATTR_CHANGING
    wait(lambda: a.state() == ON, "the move to end")
    assert a.Position == 1000 and a.Outcome == "DONE", (a.Position, a.Outcome)
    assert a.read_attribute("Position").quality == tango.AttrQuality.ATTR_VALID
    wait(lambda: positions and positions[-1] == 1000, "the last position event")
    assert len(set(positions)) > 2, positions
    wait(lambda: states[-1] == ON, "the ON event")
    assert MOVING in states, states
    # Without a database, Tango 9.3 lets a subscription time out after about ten seconds (its
    # heartbeat is named apart from the channel the client listens on): done with events here.
    for subscription in subscriptions:
        a.unsubscribe_event(subscription)

    # Stopped halfway: short of its target, and said so.
    a.Position = 4000
    wait(lambda: a.Position > 2500, "halfway")
    a.Stop()
    wait(lambda: a.state() != MOVING, "the stop")
    assert a.Outcome == "STOPPED" and 2500 < a.Position < 4000, (a.Outcome, a.Position)

    # A write of the position it stands at completes.
    a.Position = a.Position
    wait(lambda: a.state() != MOVING and a.Outcome != "MOVING", "the move to where it is")
    assert a.Outcome == "DONE" and a.state() == ON, (a.Outcome, a.state())

    # Into the CW switch at +5000: ALARM, and the switch shows.
    a.MoveRelative(3000)
    wait(lambda: a.state() not in (MOVING, ON), "the limit")
    assert a.state() == ALARM and a.Outcome == "LIMIT", (a.state(), a.Outcome)
    assert list(a.Limit_switches) == [False, True, False], a.Limit_switches
    a.Position = 0
    wait(lambda: a.state() == ON, "back at 0")

    # B deleted and made again by the server's admin device, over and over while it moves: the
    # watch may be telling the old device a snapshot as it goes. The new one takes over.
    admin = tango.DeviceProxy(b.adm_name())
    b.MoveRelative(2000)
    for _ in range(20):
        admin.DevRestart("lab/motor-panel/b")
    wait(lambda: b.state() == ON and b.Position == 2000, "B's move after the restarts")

    # Bad input: a clear DevFailed each, and the server goes on.
    for value in (math.nan, math.inf, 1e12, 0.5):
        refused(lambda: a.write_attribute("Position", value), f"Position = {value}")
    refused(lambda: a.MoveRelative(2.5), "MoveRelative(2.5)")
    refused(lambda: a.Home(0), "Home(0)")
    refused(lambda: a.write_attribute("Speed", "X"), "Speed = X")
    a.ping()
    assert a.Position == 0 and a.state() == ON

    # The panel without a session: DISABLE, and back.
    need("disconnect")
    wait(lambda: a.state() == tango.DevState.DISABLE, "DISABLE")
    assert "no session" in a.status(), a.status()
    need("connect")
    wait(lambda: a.state() == ON, "ON after the session came back")

    # The panel killed and started again, with a new token: UNKNOWN meanwhile, then back alone.
    # The first command after it goes to the new panel, not to the connection the old one closed.
    need("kill")
    wait(lambda: a.state() == tango.DevState.UNKNOWN, "UNKNOWN")
    need("start")
    wait(lambda: a.state() == ON, "ON after the panel's restart")
    a.MoveRelative(100)
    wait(lambda: a.state() == ON and a.Outcome == "DONE", "a move after the restart")

    # A server whose token file is missing, then wrong.
    c = proxy(bad_port, "a")
    wait(lambda: "cannot be read" in c.status(), "the missing token file")
    assert c.state() == tango.DevState.UNKNOWN
    refused(c.Stop, "Stop without a token")
    need("wrong token")
    wait(lambda: "refused the token" in c.status(), "the wrong token")
    refused(lambda: c.write_attribute("Position", 10), "Position without a token")
    print("tango client: all checks passed", flush=True)


if __name__ == "__main__":
    main()
