#!/usr/bin/env python3
"""Runs the shipped travik.exe twice in the namespace that in_netns.sh made, and checks it.

  shipped_program.py TRAVIK_EXE WIZARD_DRIVER_EXE "GROUP HOST PORT ADDRESS"...

The endpoints come in probing order, the FTP server (group "ftp") last. First the unattended run
(/json, current directory D:\\), then the wizard through wizard_driver.exe. Each run must probe
exactly these endpoints, each listener must see exactly its one connect, the FTP login must go
HOST, USER, PASS and be rejected, and the log must show this machine's memory and the drive's
free space as the product's rule words them under a Portuguese locale.
"""
import collections
import json
import os
import subprocess
import sys
import time
from decimal import ROUND_HALF_UP, Decimal

RUN_LIMIT = 90  # seconds for one run under Wine; a run here takes about 3
WIZARD_LIMIT = 200  # the wizard driver's own waits end within 60 + 90 + 30 s
FTP_LOGIN = ["HOST ftp.korvena.com.br", "USER qzvk", "PASS qzvk"]
FTP_CONNECTED = "Conexão FTP estabelecida."
PAGE = 4096  # Wine may report a page less physical memory than /proc/meminfo

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print(f"FAIL: {what}", flush=True)
    return ok


def figure(count):
    """The product's "GB" figure: bytes x 9.31e-10, two decimals, halves away from zero."""
    value = (Decimal(count) * Decimal("9.31e-10")).quantize(Decimal("0.01"), ROUND_HALF_UP)
    return str(value).replace(".", ",")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def memory_figures():
    with open("/proc/meminfo", encoding="ascii") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                total = int(line.split()[1]) * 1024
                return {figure(total), figure(total - PAGE)}
    raise RuntimeError("no MemTotal in /proc/meminfo")


def free_disk(mount):
    s = os.statvfs(mount)
    return s.f_bavail * s.f_frsize


class Events:
    """The peers' events file; each run looks at what came after its start."""

    def __init__(self, path):
        self.path = path

    def mark(self):
        with open(self.path, encoding="utf-8") as f:
            return sum(1 for _ in f)

    def since(self, mark):
        with open(self.path, encoding="utf-8") as f:
            return [json.loads(line) for line in f.readlines()[mark:]]


class Expected:
    def __init__(self, endpoints):
        rows = [entry.split() for entry in endpoints]
        self.tcp = [(g, h, int(p)) for g, h, p, _ in rows if g != "ftp"]
        self.ftp = [(h, int(p)) for g, h, p, _ in rows if g == "ftp"][0]
        self.listeners = {f"{a}:{p}": h for _, h, p, a in rows}
        self.ftp_listener = [f"{a}:{p}" for g, _, p, a in rows if g == "ftp"][0]


def run(label, command, cwd, env, limit):
    print(f"--- {label}: {' '.join(command)}", flush=True)
    start = time.monotonic()
    try:
        done = subprocess.run(command, cwd=cwd, env=env, timeout=limit, capture_output=True)
    except subprocess.TimeoutExpired:
        check(False, f"{label}: did not end within {limit} s")
        return None
    print(f"    ended with {done.returncode} after {time.monotonic() - start:.1f} s", flush=True)
    for name, data in (("stdout", done.stdout), ("stderr", done.stderr)):
        if data.strip():
            print(f"    {name}: {data.decode('utf-8', 'replace').strip()}")
    return done.returncode


def check_peers(label, expected, events):
    connects = collections.Counter(e["listener"] for e in events if e["event"] == "connect")
    for listener, host in expected.listeners.items():
        check(connects[listener] == 1,
              f"{label}: {host} ({listener}) was connected to {connects[listener]} times, not once")
    unexpected = set(connects) - set(expected.listeners)
    check(not unexpected, f"{label}: connects at {sorted(unexpected)}")
    commands = [e["line"] for e in events
                if e["event"] == "command" and e["listener"] == expected.ftp_listener]
    check(commands[:len(FTP_LOGIN)] == FTP_LOGIN, f"{label}: the FTP commands were {commands}")
    queries = sorted({e["name"] for e in events if e["event"] == "dns"})
    if queries:
        print(f"    DNS queries (none answered): {queries}")


def check_log(label, lines, expected, memory, disk):
    """The lines of the check log, as the JSON or the window holds them."""
    ram = [line for line in lines if line.startswith("RAM: ")]
    check(len(ram) == 1 and ram[0] in {f"RAM: {m}GB" for m in memory},
          f"{label}: memory line {ram}, expected one of {sorted(memory)}")
    space = [line for line in lines if line.startswith("Espaço livre em disco: ")]
    check(space == [f"Espaço livre em disco: {disk}GB"],
          f"{label}: disk line {space}, expected {disk}")
    probes = [line for line in lines if line.startswith("Testando conexão em ")]
    wanted = [f"Testando conexão em {h}:{p}...OK" for _, h, p in expected.tcp]
    check(probes == wanted, f"{label}: probe lines {probes}")
    check(FTP_CONNECTED in lines, f"{label}: no line '{FTP_CONNECTED}'")


def unattended(travik, expected, events, env):
    label = "unattended"
    drive = os.environ["NETNS_DRIVE"]
    disk = figure(free_disk(drive))
    result_path = os.path.join(os.environ["NETNS_WORK"], "result.json")  # not on drive D:
    mark = events.mark()
    code = run(label, ["wine", travik, "/json", windows_path(result_path)], drive, env, RUN_LIMIT)
    check(code == 0, f"{label}: exit code {code}, not 0 (ready)")
    check_peers(label, expected, events.since(mark))
    if not check(os.path.exists(result_path), f"{label}: no JSON written"):
        return
    with open(result_path, encoding="utf-8") as f:
        result = json.load(f)
    check(result.get("schema") == "travik-result/1", f"{label}: schema {result.get('schema')}")
    probes = result.get("probes", [])
    check([(p["group"], p["host"], p["port"]) for p in probes] == expected.tcp,
          f"{label}: probes {[(p['group'], p['host'], p['port']) for p in probes]}")
    for p in probes:
        check(p["ok"] is True and p["error"] is None, f"{label}: probe {p}")
    ftp = result.get("ftp", {})
    check((ftp.get("host"), ftp.get("port")) == expected.ftp, f"{label}: ftp at {ftp}")
    check(ftp.get("outcome") == "login_rejected", f"{label}: ftp outcome {ftp.get('outcome')}")
    check(ftp.get("reply") == {"code": 530, "text": "Login incorrect."},
          f"{label}: ftp reply {ftp.get('reply')}")
    check(result.get("impediments") == [], f"{label}: impediments {result.get('impediments')}")
    check_log(label, [line["text"] for line in result.get("log", [])], expected,
              memory_figures(), disk)


def wizard(travik, driver, expected, events, env):
    label = "wizard"
    drive = os.environ["NETNS_DRIVE"]
    disk = figure(free_disk(drive))
    log_path = os.path.join(os.environ["NETNS_WORK"], "wizard-log.txt")
    mark = events.mark()
    command = ["wine", driver, windows_path(travik), "D:\\", windows_path(log_path)]
    code = run(label, command, drive, env, WIZARD_LIMIT)
    check(code == 0, f"{label}: the driver ended with {code}")
    check_peers(label, expected, events.since(mark))
    if not check(os.path.exists(log_path), f"{label}: the driver wrote no log"):
        return
    with open(log_path, encoding="utf-8", newline="") as f:
        text = f.read()
    check_log(label, text.split("\r\n"), expected, memory_figures(), disk)


def main():
    travik, driver, *endpoints = sys.argv[1:]
    expected = Expected(endpoints)
    events = Events(os.environ["NETNS_EVENTS"])
    env = dict(os.environ, LC_ALL="pt_BR.UTF-8")
    unattended(travik, expected, events, env)
    wizard(travik, driver, expected, events, env)
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("the shipped program reached every endpoint as expected, unattended and in its wizard")
    return 0


if __name__ == "__main__":
    sys.exit(main())
