#!/usr/bin/python3
"""A lab script, written with PyVISA (PyVISA-py backend), against the panel's automation port.

Usage: pyvisa_client.py PORT TOKEN_FILE. The panel is connected to a simulated KELDA-01 whose
channel A stands at 0. Halfway through the scan to +6000 the operator presses Stop (the test
does, when the axis has passed +3000). Exit status 0 when every check held; the failing check
otherwise.
"""
import sys

import pyvisa


def main():
    port, token_path = int(sys.argv[1]), sys.argv[2]
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET",
                            read_termination="\n", write_termination="\n", timeout=10000)
    idn = inst.query("*IDN?").split(",")
    assert idn[0:2] == ["motor-panel", "KELDA-01"], idn
    with open(token_path) as f:
        inst.write(f'SYST:AUTH "{f.read().strip()}"')
    assert inst.query("SYST:ERR?") == '0,"No error"'
    assert inst.query("CONN?") == "1"
    assert inst.query("CHAN?") == "2"

    # *OPC? answers once the move has ended, so the position is final when it says 1.
    assert inst.query("MOVE:REL A,100;*OPC?") == "1"
    assert inst.query("MOT? A") == "DONE"
    assert int(inst.query("POS? A")) == 100

    # The scan the operator stops: never reported as done.
    inst.write("MOVE:ABS A,6000")
    outcome = inst.query("WAIT? A,TIMEOUT=30")
    assert outcome == "STOPPED", outcome
    error = inst.query("SYST:ERR?")
    assert error.startswith('-300,"Device-specific error; A stopped at +000'), error
    assert error.endswith(', target +0006000: Stop pressed"'), error
    assert 100 < int(inst.query("POS? A")) < 6000
    assert inst.query("SYST:ERR?") == '0,"No error"'

    inst.write("JOG C,+")  # a two-channel controller
    assert inst.query("SYST:ERR?").startswith("-221,")
    inst.close()
    rm.close()
    print("pyvisa client: all checks passed")


if __name__ == "__main__":
    main()
