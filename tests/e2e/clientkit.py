"""What the end-to-end clients share: asking the test that hosts the panel to change it, and
waiting for a condition."""
import sys
import time


def need(what):
    """Asks the hosting test for a change of the panel ("NEED <what>") and waits until it is made."""
    print("NEED", what, flush=True)
    assert sys.stdin.readline().strip() == "ok", what


def wait(check, what, timeout=15.0):
    """Returns once check() holds; AssertionError naming `what` after `timeout` seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if check():
            return
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")
