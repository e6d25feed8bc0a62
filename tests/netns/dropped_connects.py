#!/usr/bin/env python3
"""The loopback build's unattended run when every connect is dropped (see
dropped_connects_test.sh, which starts this inside in_netns.sh).

  dropped_connects.py TRAVIK_LOOPBACK_EXE SYN_RETRIES FTP_PORT HOST:PORT...

Every TCP probe must fail with 10060 "Connection timed out.", the FTP probe with "Connect timed
out." (outcome "failed"), the log must hold the usual lines in the usual order, and the run must
last less than two connect time-outs: its probes wait side by side, where one after another they
would wait six TCP time-outs and the FTP one.
"""
import json
import os
import sys

sys.dont_write_bytecode = True  # nothing written beside the sources
from loopback_runs import (  # noqa: E402
    Run, check, events, finish, loopback_environment, windows_path)

RUN_LIMIT = 120  # seconds for the whole process; one after another the probes would take ~47


def connect_timeout_ms(syn_retries):
    """Linux gives a connect up after its SYN and `syn_retries` retransmissions, the wait
    doubling from 1 s: 7 s for 2."""
    return (2 ** (syn_retries + 1) - 1) * 1000


def expected_log(tcp):
    """The log from the broadcast heading on: (text, issue) in order."""
    failed = "Falha\rSocket Error # 10060\r\nConnection timed out."
    probe = [(f"Testando conexão em {endpoint}...{failed}", True) for endpoint in tcp]
    return ([(">>> Teste de conexão com difusores", False)] + probe[:2] +
            [(">>> Teste de conexão internacional", False)] + probe[2:] +
            [(">>> Verificando conexão com servidor FTP", False),
             ("Não foi possível conectar ao FTP.", True),
             ("--------- Verificação finalizada ---------", False)])


def main():
    program, syn_retries, ftp_port, *tcp = sys.argv[1:]
    timeout_ms = connect_timeout_ms(int(syn_retries))
    limit_ms = 2 * timeout_ms
    result_path = os.path.join(os.environ["NETNS_WORK"], "result.json")
    run = Run("unattended, every connect dropped",
              [program, "/json", windows_path(result_path)],
              loopback_environment(tcp, ftp_port), RUN_LIMIT)
    check(run.code == 1, f"exit code {run.code}, not 1 (impediments found)")
    if not check(os.path.exists(result_path), "no JSON written"):
        return finish("")
    with open(result_path, encoding="utf-8") as f:
        result = json.load(f)

    probes = result.get("probes", [])
    check([f"{p['host']}:{p['port']}" for p in probes] == tcp,
          f"probes {[(p['host'], p['port']) for p in probes]}, not {tcp}")
    for p in probes:
        check(p["ok"] is False and p["error"] == {"code": 10060, "text": "Connection timed out."},
              f"probe {p}")
    ftp = result.get("ftp", {})
    check(ftp.get("port") == int(ftp_port), f"ftp at {ftp.get('host')}:{ftp.get('port')}")
    check(ftp.get("outcome") == "failed", f"ftp outcome {ftp.get('outcome')}")
    check(ftp.get("error") == "Connect timed out.", f"ftp error {ftp.get('error')!r}")

    # The host checks' five lines (the loopback build's facts pass them all), then the network's.
    log = [(line["text"], line["issue"]) for line in result.get("log", [])]
    host = [text for text, _ in log[:5]]
    check(len(host) == 5 and host[0] == "--------- Iniciando verificação ---------" and
          host[2].startswith("RAM: ") and host[3].startswith("Espaço livre em disco: ") and
          host[4] == "Usuário possui privilégios de administrador", f"the host lines were {host}")
    network = expected_log(tcp)
    check(log[5:] == network, f"the log's network part was {log[5:]}")
    issues = [text for text, issue in network if issue]
    check(result.get("secondary_errors") == issues[:2],
          f"secondary errors {result.get('secondary_errors')}")
    check(result.get("impediments") ==
          ["Não foi possível estabelecer conexão com os servidores de difusão."] + issues[2:],
          f"impediments {result.get('impediments')}")

    duration = result.get("duration_ms")
    elapsed = {f"{p['host']}:{p['port']}": p["elapsed_ms"] for p in probes}
    print(f"run: duration_ms {duration} (wall {run.wall_ms:.0f} ms); each probe's elapsed_ms:"
          f" {elapsed}, FTP {ftp.get('elapsed_ms')}; one after another they would add up to"
          f" {sum(elapsed.values()) + (ftp.get('elapsed_ms') or 0)} ms")
    check(isinstance(duration, int) and duration < limit_ms,
          f"duration_ms {duration}, not less than two connect time-outs ({limit_ms} ms)")

    seen = events()
    filled = {e["listener"] for e in seen if e["event"] == "filled"}
    check(filled == set(tcp) | {f"127.0.0.1:{ftp_port}"}, f"queues filled at {sorted(filled)}")
    connects = [e for e in seen if e["event"] == "connect"]
    check(not connects, f"connects accepted: {connects}")
    return finish("every dropped connect timed out, side by side, in the log's fixed order")


if __name__ == "__main__":
    sys.exit(main())
