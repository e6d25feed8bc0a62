#!/usr/bin/env python3
"""The loopback build's wizard, closed while its name look-ups wait (see
closing_during_lookups_test.sh, which starts this inside in_netns.sh).

  closing_during_lookups.py TRAVIK_LOOPBACK_EXE WIZARD_DRIVER_EXE FTP_PORT

Every look-up waits 30 s for a name server that never answers. The window is closed once the
log shows the first probe line and the name server has logged a query for every name; the
program must then end with exit code 0 within CLOSE_LIMIT_MS, well before any look-up could
have given up, and nothing may have been connected to but the FTP server.
"""
import collections
import os
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
from loopback_runs import (  # noqa: E402
    Run, check, events, finish, loopback_environment, windows_path)

LOOKUP_WAIT_S = 30  # in_netns.sh --resolver-timeout: one query, never answered
CLOSE_GOAL_MS = 2000  # what closing during the look-ups should take
CLOSE_LIMIT_MS = 4 * CLOSE_GOAL_MS  # asserted, with four times the goal as margin
DRIVER_LIMIT = 200  # seconds: the driver's own waits end within 60 + 60 + 30 + 60 s
# The six TCP endpoints in probing order; no name holds another, so each is its own marker.
TCP = ["difusor1.lookups.invalid:81", "difusor2.lookups.invalid:81",
       "srv1.lookups.invalid:7500", "srv2.lookups.invalid:7500",
       "feed.lookups.invalid:80", "www-feed.lookups.invalid:80"]


def main():
    program, driver, ftp_port = sys.argv[1:]
    names = [endpoint.rpartition(":")[0] for endpoint in TCP]
    env = loopback_environment(TCP, ftp_port, resolver="system")
    run = Run("wizard closed during the look-ups",
              [driver, "close", windows_path(program), windows_path(os.environ["NETNS_WORK"]),
               TCP[0], windows_path(os.environ["NETNS_EVENTS"]), *names],
              env, DRIVER_LIMIT)
    figures = dict(line.split(" ", 1) for line in run.out.splitlines() if " " in line)
    check(run.code == 0, f"the driver ended with {run.code}")
    check(figures.get("exit_code") == "0",
          f"the program's exit code was {figures.get('exit_code')}")
    close_ms = float(figures["close_to_exit_ms"]) if "close_to_exit_ms" in figures else None
    if check(close_ms is not None, "the driver measured no close"):
        print(f"closed to ended: {close_ms:.0f} ms (goal {CLOSE_GOAL_MS} ms, asserted within"
              f" {CLOSE_LIMIT_MS} ms; every look-up would have waited {LOOKUP_WAIT_S} s)")
        check(close_ms < CLOSE_LIMIT_MS,
              f"the program ended {close_ms:.0f} ms after WM_CLOSE, not within {CLOSE_LIMIT_MS}")

    seen = events()
    queried = collections.Counter(e["name"] for e in seen if e["event"] == "dns")
    print(f"name server's queries (none answered): {dict(queried)}")
    for name in names:
        check(queried[name] >= 1, f"{name} was never asked of the name server")
    connects = [e["listener"] for e in seen if e["event"] == "connect"]
    check(set(connects) <= {f"127.0.0.1:{ftp_port}"}, f"connects at {connects}")
    return finish("closing the window during the look-ups ended the program at once")


if __name__ == "__main__":
    sys.exit(main())
