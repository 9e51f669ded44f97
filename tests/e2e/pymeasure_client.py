#!/usr/bin/python3
"""A Python lab's script with the motor_panel instrument (Debian's python3-pymeasure 0.9).

Usage: pymeasure_client.py PORT TOKEN_FILE, with the package folder (python/) on PYTHONPATH. The
panel is connected to a simulated KELDA-01 with both channels at 0. Exit status 0 when every
check held.
"""
import sys
import time

from motor_panel import MotorError, MotorPanel, PanelError


def main():
    port, token_file = sys.argv[1], sys.argv[2]
    stage = MotorPanel(f"TCPIP0::127.0.0.1::{port}::SOCKET", token_file=token_file)
    assert stage.connected and stage.model == "KELDA-01" and stage.channels == 2
    assert stage.speed in ("H", "M", "L")

    # A three-point scan on two axes: each move returns when it has ended DONE.
    for step, target in enumerate((0, 500, 1000)):
        stage.a.position = target
        stage.b.move_relative(-250)
        assert stage.a.position == target and stage.b.position == -250 * (step + 1)
        assert stage.a.motion == "DONE" and stage.b.motion == "DONE"
    assert stage.a.limits == {"cw": False, "ccw": False, "home": False}

    # A move the test stops: the exception carries the outcome and the panel's reason.
    stage.a.move_relative(6000, wait=False)
    end = time.monotonic() + 10
    while stage.a.position < 2000 and time.monotonic() < end:
        time.sleep(0.02)
    stage.a.stop()
    try:
        stage.a.wait_for_stop(30)
    except MotorError as e:
        assert e.outcome == "STOPPED" and e.axis == "A", e
        assert "target +0007000: STOP from client" in e.detail, e.detail
    else:
        raise AssertionError("a stopped move raised nothing")
    assert 2000 <= stage.a.position < 7000

    # Bad values never reach the panel; what the panel refuses comes back as PanelError.
    for bad in (0.5, float("nan"), 1e12, "x"):
        try:
            stage.a.position = bad
        except ValueError:
            pass
        else:
            raise AssertionError(f"position {bad!r} taken")
    try:
        stage.c.move_relative(10)  # a two-channel controller
    except PanelError as e:
        assert "-221" in str(e), e
    else:
        raise AssertionError("channel C taken")
    stage.a.define_position(0)
    assert stage.a.position == 0
    print("pymeasure client: all checks passed", flush=True)


if __name__ == "__main__":
    main()
