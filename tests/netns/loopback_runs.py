"""What the namespace tests of the loopback build (travik_loopback.exe) share: checks that are
counted, Windows paths of files inside the namespace, the peers' events, a bounded run under Wine.
Imported by closing_during_lookups.py, dropped_connects.py and bench/netns_bench.py; each runs
inside in_netns.sh."""
import json
import os
import subprocess
import time

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print(f"FAIL: {what}", flush=True)
    return ok


def finish(passed):
    """The exit code of a test: 1 and the count when a check failed."""
    if failures:
        print(f"{len(failures)} check(s) failed", flush=True)
        return 1
    print(passed, flush=True)
    return 0


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def events():
    """The peers' events so far (in_netns.sh's NETNS_EVENTS), one dict each."""
    with open(os.environ["NETNS_EVENTS"], encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def loopback_environment(tcp, ftp_port, resolver=None):
    """The environment of a loopback build's run: TCP endpoints ("host:port"), the FTP port on
    127.0.0.1, and with resolver="system" names go to the namespace's resolver."""
    env = dict(os.environ, TRAVIK_LOOPBACK_TCP=",".join(tcp),
               TRAVIK_LOOPBACK_FTP_PORT=str(ftp_port))
    env.pop("TRAVIK_LOOPBACK_FAIL", None)
    env.pop("TRAVIK_LOOPBACK_RESOLVER", None)
    if resolver:
        env["TRAVIK_LOOPBACK_RESOLVER"] = resolver
    return env


class Run:
    """One Windows program under Wine, bounded by `limit` seconds: its exit code (None when it
    had to be ended), its output, and its wall time from start to end."""

    def __init__(self, label, command, env, limit, cwd=None):
        print(f"--- {label}: {' '.join(command)}", flush=True)
        start = time.monotonic()
        self.code, self.out, self.err = None, "", ""
        try:
            done = subprocess.run(["wine", *command], cwd=cwd or os.environ["NETNS_WORK"],
                                  env=env, timeout=limit, capture_output=True)
            self.code = done.returncode
            self.out = done.stdout.decode("utf-8", "replace")
            self.err = done.stderr.decode("utf-8", "replace")
        except subprocess.TimeoutExpired:
            check(False, f"{label}: did not end within {limit} s")
        self.wall_ms = (time.monotonic() - start) * 1000.0
        print(f"    ended with {self.code} after {self.wall_ms / 1000:.1f} s", flush=True)
        for name, text in (("stdout", self.out), ("stderr", self.err)):
            if text.strip():
                print(f"    {name}: {text.strip()}", flush=True)
