#!/usr/bin/python3
"""A Python lab's script with the motor_panel instrument (Debian's python3-pymeasure 0.9).

Usage: pymeasure_client.py PORT TOKEN_FILE, with the package folder (python/) on PYTHONPATH. The
panel is connected to a simulated KELDA-01 with both channels at 0, a CW limit switch on B at
+5000, and A's unit set to 400 pulses per 'µm "fine"'. Where the panel must change, the script
prints NEED <what> and waits for "ok". Exit status 0 when every check held.
"""
import math
import socket
import sys

from clientkit import need, wait
from motor_panel import MotorError, MotorPanel, PanelError


def raises(kind, call, *args):
    """The exception `call(*args)` raised, which must be a `kind`."""
    try:
        call(*args)
    except kind as e:
        return e
    raise AssertionError(f"{call} {args!r} raised no {kind.__name__}")


def main():
    port, token_file = sys.argv[1], sys.argv[2]
    address = f"TCPIP0::127.0.0.1::{port}::SOCKET"
    stage = MotorPanel(address, token_file=token_file)
    a, b = stage.a, stage.b
    assert stage.connected and stage.model == "KELDA-01" and stage.channels == 2
    assert stage.speed in ("H", "M", "L")

    # A two-axis scan: both moves start, then each is waited for.
    for x, y in ((500, -250), (0, 0), (1000, -500)):
        a.move_to(x, wait=False)
        b.move_to(y, wait=False)
        a.wait_for_stop()
        b.wait_for_stop()
        assert (a.position, b.position, a.motion, b.motion) == (x, y, "DONE", "DONE")
    assert a.limits == {"cw": False, "ccw": False, "home": False}

    # A stopped while B runs into its CW switch: each axis's error carries its own reason, in
    # either order of waiting. B's outcome is in the queue first.
    for order in ((a, b), (b, a)):
        start = a.position
        a.move_relative(20000, wait=False)
        b.move_to(8000, wait=False)
        wait(lambda: b.motion == "LIMIT", "B at its switch")
        a.stop()
        errors = {axis.letter: raises(MotorError, axis.wait_for_stop) for axis in order}
        assert errors["A"].outcome == "STOPPED" and errors["A"].axis == "A", errors["A"]
        assert errors["A"].detail.startswith("A stopped at"), errors["A"].detail
        assert f"target {start + 20000:+08d}: STOP from client" in errors["A"].detail, errors["A"]
        assert errors["B"].outcome == "LIMIT", errors["B"]
        assert errors["B"].detail.startswith("B ") and "CW limit" in errors["B"].detail, errors["B"]
        assert b.position == 5000 and b.limits["cw"]
        b.position = 0
    # Every outcome is kept, also those the instrument's commands passed over in the queue.
    assert str(raises(PanelError, stage.check_errors)).count("-300,") == 4

    # Units: A's scale, the name as the operator typed it; user positions round to whole steps,
    # a half step away from zero (400.5 steps here), as the Tango server rounds.
    assert a.units == (400.0, 'µm "fine"') and b.units == (0.0, ""), (a.units, b.units)
    a.user_position = 1.00125
    assert a.position == 401 and a.user_position == 401 / 400, a.position
    assert "no unit" in str(raises(PanelError, lambda: b.user_position))

    # Bad values never reach the panel, and nothing moves.
    table = (
        (lambda v: setattr(a, "position", v),
         (0.5, math.nan, math.inf, 1e12, 10_000_000, -10_000_000, "x", None, True)),
        (lambda v: setattr(a, "user_position", v), (math.nan, True, "x")),
        (a.wait_for_stop, (0, -0.001, 3600.001, math.nan, math.inf, True)),
        (lambda t: a.move_to(0, timeout=t), (-1, 3601)),
        (a.define_position, (9.5, False)),
    )
    for call, values in table:
        for value in values:
            raises(ValueError, call, value)
    assert a.position == 401 and a.motion == "DONE"
    a.wait_for_stop(0.001)  # the shortest wait and the longest, on a move that has ended
    a.wait_for_stop(3600)
    a.move_to(9_999_999, wait=False)  # at the controller's limit: taken
    timeout = raises(MotorError, a.wait_for_stop, 0.001)
    assert (timeout.outcome, timeout.detail) == ("TIMEOUT", "still moving after 0.001 s"), timeout
    # A line whose answers did not come in time leaves them on their way: that connection is
    # read no more, each later line a PanelError, rather than one answer taken for another's.
    late = MotorPanel(address, token_file=token_file)
    late.adapter.connection.timeout = 50
    assert "failed" in str(raises(PanelError, late.query, "WAIT? A,TIMEOUT=2"))
    assert "make a new MotorPanel" in str(raises(PanelError, lambda: late.a.motion))
    late.adapter.connection.close()
    a.stop()
    assert raises(MotorError, a.wait_for_stop).outcome == "STOPPED"
    assert "-221" in str(raises(PanelError, stage.c.move_relative, 10))  # a two-channel controller
    assert "-221" in str(raises(PanelError, lambda: stage.c.position))
    a.define_position(0)
    assert a.position == 0

    # No session: no position, rather than the last one.
    need("disconnect")
    wait(lambda: not stage.connected, "the session's end")
    assert "no session" in str(raises(PanelError, lambda: a.position))

    # No panel at the address, no token: each says what is missing and how to get it.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        free = probe.getsockname()[1]
    text = str(raises(PanelError, MotorPanel, f"TCPIP0::127.0.0.1::{free}::SOCKET"))
    assert f"127.0.0.1:{free}" in text and f"motor-panel --automation {free}" in text, text
    missing = token_file + ".missing"
    text = str(raises(PanelError, lambda: MotorPanel(address, token_file=missing)))
    assert missing in text and "--automation" in text, text
    print("pymeasure client: all checks passed", flush=True)


if __name__ == "__main__":
    main()
