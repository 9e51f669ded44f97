#!/usr/bin/python3
"""Subscribes to the Position change events of lab/motor-panel/a and b and prints one line per
event: the channel, the value and when it arrived (CLOCK_MONOTONIC, ns). Runs SECONDS seconds.

A server without a database (the standalone form) under Tango 9.3 names its event heartbeat
differently from the channel its clients listen on, so a subscription times out after about ten
seconds; the subscriptions are renewed every RENEW seconds to measure a longer run.

Usage: tango_events.py ORB_PORT SECONDS
"""
import sys
import time

import tango

RENEW = 8.0


def main():
    port, seconds = sys.argv[1], float(sys.argv[2])
    lines = []
    proxies = {ch: tango.DeviceProxy(f"tango://127.0.0.1:{port}/lab/motor-panel/{ch}#dbase=no")
               for ch in "ab"}

    def subscribe():
        return [(d, d.subscribe_event("Position", tango.EventType.CHANGE_EVENT,
                                      lambda e, ch=ch: e.err or lines.append(
                                          f"{ch} {e.attr_value.value:.0f} {time.monotonic_ns()}")))
                for ch, d in proxies.items()]

    print("subscribed", flush=True)
    end = time.monotonic() + seconds
    renewals = 0
    while time.monotonic() < end:
        ids = subscribe()
        time.sleep(max(0.0, min(RENEW, end - time.monotonic())))
        for d, i in ids:
            d.unsubscribe_event(i)
        renewals += 1
    print("\n".join(lines), flush=True)
    print("end", renewals - 1, flush=True)


if __name__ == "__main__":
    main()
