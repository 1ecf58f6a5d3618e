#!/usr/bin/env python3
"""The shipped dashboard and rules against a real Prometheus.

    DashboardTest.py GATEWAY SIM RULES DASHBOARD

kavrel-sim plays a TR5 and a VR5 on a TCP line, kavrel-gateway polls them, and
a Prometheus of its own (free port, own storage, scraping every second) scrapes
the gateway with the rules loaded. Once data is in, every PromQL expression of
the dashboard (its panels' queries and its variables) and every recording rule
goes through Prometheus's query API and must return data; every rule, alerts
included, must evaluate without an error. Then the TR5's active energy counter
is cancelled through the simulator, and the reset alert must fire for it alone. Grafana's variables are replaced as
Grafana would: $line and $meter by all their values, $__interval by the query's
or panel's minimum interval, $__range by the dashboard's time range.

Exit status 0: all returned data; 1: a failure (listed); 77: no prometheus.
"""
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

SCRAPE_S = 1
# Energy counters and harmonics are read this often by the gateway under test.
ENERGY_S = 2
HARMONICS_S = 5
# What a loaded machine may add to starting three programs and a few scrapes.
ALLOWANCE_S = 90
# Grafana's own defaults: the interval of a panel without one over a day's
# range, and the data source's scrape interval as Grafana assumes it.
GRAFANA_INTERVAL = "1m"
GRAFANA_SCRAPE_S = 15

METERS = [("incomer", "TR5", 1), ("feeder2", "VR5", 2)]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def seconds(duration):
    m = re.fullmatch(r"(\d+)(ms|s|m|h|d|w)", duration)
    if not m:
        raise ValueError(f'unknown duration "{duration}"')
    return int(m.group(1)) * {"ms": 0.001, "s": 1, "m": 60, "h": 3600, "d": 86400, "w": 604800}[m.group(2)]


def duration(s):
    return f"{int(s)}s"


class Child:
    """A program whose output goes to a file of the work folder."""

    def __init__(self, work, name, argv, stdin=subprocess.DEVNULL):
        self.name, self.log = name, os.path.join(work, name + ".log")
        with open(self.log, "wb") as out:
            self.proc = subprocess.Popen(argv, stdin=stdin, stdout=out, stderr=subprocess.STDOUT)

    def say(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()

    def text(self):
        with open(self.log, errors="replace") as f:
            return f.read()

    def wait_for_line(self, pattern, limit):
        end = time.monotonic() + limit
        while time.monotonic() < end:
            m = re.search(pattern, self.text())
            if m:
                return m
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        raise RuntimeError(f"{self.name} did not say /{pattern}/:\n{self.text()}")

    def stop(self):
        """SIGTERM, then the exit code; a program that does not end in time is killed."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                return "killed after 30 s"
        return self.proc.returncode


class Prometheus:
    def __init__(self, base):
        self.base = base

    def get(self, path, **params):
        url = self.base + path + ("?" + urllib.parse.urlencode(params, doseq=True) if params else "")
        try:
            with urllib.request.urlopen(url, timeout=30) as r:
                return json.load(r)
        except urllib.error.HTTPError as e:  # a bad query: 400 with the reason
            return json.load(e)

    def query(self, expr):
        """The result list of an instant query, or the error text."""
        answer = self.get("/api/v1/query", query=expr)
        if answer.get("status") != "success":
            return f'{answer.get("errorType")}: {answer.get("error")}'
        return answer["data"]["result"]


def dashboard_queries(panels, out):
    """(where, expr, interval, range) of every query of the panels, rows' panels
    included; range is the panel's own time range, or None."""
    for p in panels:
        dashboard_queries(p.get("panels", []), out)
        for t in p.get("targets", []):
            if t.get("expr"):
                out.append((f'panel "{p.get("title")}" {t.get("refId")}', t["expr"],
                            t.get("interval") or p.get("interval") or GRAFANA_INTERVAL, p.get("timeFrom")))
    return out


VARIABLE = re.compile(r"\$\{(\w+)(?::\w+)?\}|\$(\w+)|\[\[(\w+)\]\]")
LABEL_VALUES = re.compile(r"^\s*label_values\((?:(.*),)?\s*(\w+)\s*\)\s*$", re.S)


def substitute(expr, values):
    def one(m):
        name = m.group(1) or m.group(2) or m.group(3)
        if name not in values:
            raise KeyError(f'unknown variable ${name} in "{expr}"')
        return values[name]
    return VARIABLE.sub(one, expr)


def regex_of(values):
    """A multi-value variable as Grafana writes it for Prometheus: (a|b), escaped."""
    escaped = [re.sub(r"([\\.^$*+?()\[\]{}|])", r"\\\\\1", v) for v in sorted(values)]
    return "(" + "|".join(escaped) + ")"


def check(prom, dashboard, recorded):
    """The failures of one round: (what, why) for each query without data."""
    failures = []
    def ranged(span):
        return {"__range": duration(span), "__range_s": str(int(span)), "__range_ms": str(int(span * 1000))}
    span = seconds(dashboard["time"]["from"].removeprefix("now-"))
    values = ranged(span)
    for v in dashboard.get("templating", {}).get("list", []):
        if v["type"] != "query":
            continue
        query = v["query"]["query"] if isinstance(v["query"], dict) else v["query"]
        m = LABEL_VALUES.match(query)
        if not m:
            failures.append((f"variable ${v['name']}", f'"{query}" is not label_values(...)'))
            continue
        selector, label = m.group(1), m.group(2)
        if selector:
            series = prom.get("/api/v1/series", **{"match[]": substitute(selector, values),
                                                  "start": str(time.time() - span)})
            found = {s[label] for s in series.get("data", []) if label in s}
        else:
            found = set(prom.get(f"/api/v1/label/{label}/values").get("data", []))
        if not found:
            failures.append((f"variable ${v['name']}", f'"{query}" found no values'))
        values[v["name"]] = regex_of(found) if found else "()"
    for where, expr, interval, panel_range in dashboard_queries(dashboard["panels"], []):
        step = seconds(interval)
        local = dict(values, __interval=duration(step), __interval_ms=str(int(step * 1000)),
                     __rate_interval=duration(max(step + GRAFANA_SCRAPE_S, 4 * GRAFANA_SCRAPE_S)))
        if panel_range:
            local.update(ranged(seconds(panel_range)))
        try:
            expr = substitute(expr, local)
        except KeyError as e:
            failures.append((where, str(e)))
            continue
        result = prom.query(expr)
        if not result or isinstance(result, str):
            failures.append((where, f"{expr}: {result or 'no data'}"))
    for name, expr in recorded:
        result = prom.query(expr)
        if not result or isinstance(result, str):
            failures.append((f"record {name}", f"{expr}: {result or 'no data'}"))
    return failures


def loaded_rules(prom):
    groups = prom.get("/api/v1/rules").get("data", {}).get("groups", [])
    return [r for g in groups for r in g["rules"]]


def main():
    gateway, sim, rules, dashboard_path = sys.argv[1:5]
    if not shutil.which("prometheus"):
        print("SKIPPED: prometheus is not installed (Debian package prometheus)")
        return 77
    with open(dashboard_path) as f:
        dashboard = json.load(f)
    with open(rules) as f:
        rules_text = f.read()
    records_in_file = len(re.findall(r"^\s*- record:", rules_text, re.M))
    alerts_in_file = len(re.findall(r"^\s*- alert:", rules_text, re.M))

    work = tempfile.mkdtemp(prefix="kavrel-dashboard-")
    children = []
    failures = []
    try:
        line = " ".join(f"--meter {model}:{address}" for _, model, address in METERS)
        simulator = Child(work, "sim", [sim, "--listen", "127.0.0.1:0", "--framing", "rtu", *line.split()],
                          stdin=subprocess.PIPE)
        children.append(simulator)
        sim_at = simulator.wait_for_line(r"listening on tcp://([\d.]+:\d+)", ALLOWANCE_S).group(1)

        config = os.path.join(work, "gateway.toml")
        with open(config, "w") as f:
            f.write(f'[http]\naddress = "127.0.0.1"\nport = 0\n\n[[line]]\nname = "board"\n'
                    f'port = "tcp://{sim_at}"\nbaud = 19200\nframing = "rtu"\nformat = "8N1"\n'
                    f"energy_interval_s = {ENERGY_S}\nharmonics_interval_s = {HARMONICS_S}\n")
            for name, model, address in METERS:
                f.write(f'\n  [[line.meter]]\n  name = "{name}"\n  model = "{model}"\n  address = {address}\n')
        gw = Child(work, "gateway", [gateway, "--config", config])
        children.append(gw)
        gateway_at = gw.wait_for_line(r"serving .* on ([\d.]+:\d+)", ALLOWANCE_S).group(1)

        with open(os.path.join(work, "prometheus.yml"), "w") as f:
            f.write(f"global:\n  scrape_interval: {SCRAPE_S}s\n  evaluation_interval: {SCRAPE_S}s\n"
                    f"rule_files:\n  - {os.path.abspath(rules)}\n"
                    f"scrape_configs:\n  - job_name: kavrel\n    static_configs:\n"
                    f'      - targets: ["{gateway_at}"]\n')
        for attempt in range(3):  # the free port may be taken by another test meanwhile
            port = free_port()
            prometheus = Child(work, "prometheus", [
                "prometheus", "--config.file=" + os.path.join(work, "prometheus.yml"),
                "--storage.tsdb.path=" + os.path.join(work, "tsdb"), "--web.listen-address=127.0.0.1:" + str(port)])
            try:
                prometheus.wait_for_line(r"Server is ready to receive web requests", ALLOWANCE_S)
                break
            except RuntimeError:
                if attempt == 2 or "address already in use" not in prometheus.text():
                    children.append(prometheus)
                    raise
                prometheus.stop()
        children.append(prometheus)
        prom = Prometheus(f"http://127.0.0.1:{port}")

        rules_loaded = loaded_rules(prom)
        recorded = [(r["name"], r["query"]) for r in rules_loaded if r["type"] == "recording"]
        alerting = [r for r in rules_loaded if r["type"] == "alerting"]
        if len(recorded) != records_in_file or len(alerting) != alerts_in_file or not recorded:
            failures.append(("rules", f"Prometheus loaded {len(recorded)} records and {len(alerting)} alerts, "
                                      f"the file has {records_in_file} and {alerts_in_file}"))

        # Energy counters need two reads for an increase, harmonics one, everything
        # else two scrapes.
        start = time.monotonic()
        end = start + 2 * ENERGY_S + HARMONICS_S + 3 * SCRAPE_S + ALLOWANCE_S
        while True:
            round_failures = check(prom, dashboard, recorded)
            broken = [(f"rule {r['name']}", r.get("lastError", "")) for r in loaded_rules(prom)
                      if r.get("health") == "err"]
            if not round_failures and not broken or time.monotonic() > end:
                break
            time.sleep(SCRAPE_S)
        failures += round_failures + broken
        queries = len(dashboard_queries(dashboard["panels"], []))
        print(f"{queries} dashboard queries and {len(recorded)} recording rules checked, "
              f"{time.monotonic() - start:.0f} s after Prometheus started")

        # A cancelled counter, as the master writes it, fires the reset alert. The
        # gateway sees a reset only if the first value read after the cancellation
        # is below the last one read before it; so the counter is first left to
        # hold ten reads' worth of energy at the meter's power.
        name = METERS[0][0]
        grown = (f'kavrel_active_energy_joules_total{{meter="{name}"}} > on (meter) '
                 f'{10 * ENERGY_S} * kavrel_total_active_power_watts{{meter="{name}"}}')
        end = time.monotonic() + 10 * ENERGY_S + ALLOWANCE_S
        while not prom.query(grown) and time.monotonic() < end:
            time.sleep(SCRAPE_S)
        simulator.say(f"write {METERS[0][2]} 4010 1")
        reset = f'ALERTS{{alertname="KavrelEnergyCounterReset",alertstate="firing",meter="{METERS[0][0]}"}}'
        end = time.monotonic() + ENERGY_S + 3 * SCRAPE_S + ALLOWANCE_S
        while not prom.query(reset) and time.monotonic() < end:
            time.sleep(SCRAPE_S)
        if not prom.query(reset):
            resets = prom.query(f'kavrel_meter_counter_resets_total{{meter="{METERS[0][0]}"}}')
            failures.append(("alert", f"no {reset} after the TR5's active energy counter was cancelled; "
                                      f"counted resets: {resets}"))
        quiet = 'ALERTS{alertname="KavrelEnergyCounterReset",meter!="%s"}' % METERS[0][0]
        if prom.query(quiet):
            failures.append(("alert", f"{quiet}: {prom.query(quiet)}"))

        # The check itself: a metric nobody serves is reported.
        if not check(prom, {**dashboard, "panels": [{"title": "invented", "targets": [
                {"refId": "A", "expr": 'kavrel_invented_metric{meter=~"$meter"}'}]}]}, []):
            failures.append(("check", "a query without data went unnoticed"))
    except RuntimeError as e:
        failures.append(("start", str(e)))
    finally:
        for child in reversed(children):
            code = child.stop()
            if code != 0:
                failures.append((child.name, f"ended with {code}:\n{child.text()[-3000:]}"))
        if failures:
            for child in children:
                print(f"--- {child.name} log (end)\n{child.text()[-2000:]}")
        shutil.rmtree(work, ignore_errors=True)

    for what, why in failures:
        print(f"FAILED: {what}: {why}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
