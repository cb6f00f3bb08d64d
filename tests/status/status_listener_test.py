#!/usr/bin/env python3
"""The status listener of the real program, read the way the ship's monitoring and a person read it.

Each case runs the vorlane program in a scratch directory, capturing on loopback (root only), fed
by vorlane-sim. Exits 77 with a "Skipped: " line when the case cannot run here.

Usage: status_listener_test.py CASE VORLANE VORLANE_SIM
  CASE: metrics_and_status | page_in_browser | port_zero | port_of_an_output
"""

import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

SKIPPED = 77


def skip(reason):
    print(f"Skipped: {reason}")
    sys.exit(SKIPPED)


def free_port(kind=socket.SOCK_STREAM, pair=False):
    """A port on 127.0.0.1 that is free, and with pair the next one too."""
    for _ in range(20):
        with socket.socket(socket.AF_INET, kind) as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        if not pair:
            return port
        try:
            with socket.socket(socket.AF_INET, kind) as probe:
                probe.bind(("127.0.0.1", port + 1))
            return port
        except OSError:
            continue
    raise RuntimeError("no free port on 127.0.0.1")


def wait_for(condition, what, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.1)
    raise AssertionError(f"timed out waiting for {what}")


class Gateway:
    """The program in a scratch directory with loopback settings; its standard error is kept."""

    # status_port None: the first output's port.
    def __init__(self, program, scratch, status_port):
        self.first_port = free_port(pair=True)
        self.udp_port = free_port(socket.SOCK_DGRAM)
        self.status_port = self.first_port if status_port is None else status_port
        shutil.copy(program, os.path.join(scratch, "vorlane"))
        with open(os.path.join(scratch, "Vorlane.ini"), "w") as ini:
            ini.write(
                f"[Vorlane]\ninput_ip=127.0.0.1\noutput_ip=127.0.0.1\nfirst_output_port={self.first_port}\n"
                f"status_port={self.status_port}\n[QXInput]\n"
                f"input_0_port={self.udp_port}\ninput_0_src_ip=127.0.0.10\ninput_0_dest_ip=127.0.0.1\n"
                f"input_1_port={self.udp_port}\ninput_1_src_ip=127.0.0.11\ninput_1_dest_ip=127.0.0.1\n")
        self.stderr_path = os.path.join(scratch, "stderr.txt")
        environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        with open(self.stderr_path, "w") as stderr:
            self.process = subprocess.Popen([os.path.join(scratch, "vorlane")], cwd=scratch, env=environment,
                                            stdout=subprocess.DEVNULL, stderr=stderr)
        wait_for(lambda: "\nReady\n" in self.output(), "the gateway to say Ready", 20)

    def output(self):
        with open(self.stderr_path) as stderr:
            return "\n" + stderr.read()

    def url(self, path):
        return f"http://127.0.0.1:{self.status_port}{path}"

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=20)


def send_traffic(simulator, gateway, seconds=1):
    # Every fifth sentence with a wrong checksum, so that rejections are counted too.
    subprocess.run([simulator, "--port", str(gateway.udp_port), "--rate", "50", "--seconds", str(seconds),
                    "--broken-every", "5"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=30)


def fetch(url, method="GET"):
    """Status, headers and body; an HTTP error status is an answer too."""
    request = urllib.request.Request(url, method=method, data=b"x=1" if method in ("POST", "PUT") else None)
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, answer.headers, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def scrape(gateway):
    """Every sample of /metrics by (name, sorted labels), after checking the families' form."""
    status, headers, body = fetch(gateway.url("/metrics"))
    assert status == 200, status
    assert headers["Content-Type"].startswith("text/plain; version=0.0.4"), headers["Content-Type"]
    text = body.decode()
    samples = {}
    for family in text_string_to_metric_families(text):
        assert f"# HELP {family.name}" in text and family.documentation, f"{family.name} has no HELP"
        assert f"# TYPE {family.name}" in text, f"{family.name} has no TYPE"
        for sample in family.samples:
            if family.type == "counter":
                assert sample.name.endswith("_total"), sample.name
            samples[(sample.name, tuple(sorted(sample.labels.items())))] = sample.value
    return samples


def total(samples, name, **labels):
    """The sum of the samples of `name` whose labels include `labels`."""
    wanted = set(labels.items())
    return sum(value for (sample, sample_labels), value in samples.items()
               if sample == name and wanted <= set(sample_labels))


def check_metrics_and_status(program, simulator, scratch):
    gateway = Gateway(program, scratch, free_port())
    try:
        started = time.time()
        before = scrape(gateway)
        assert total(before, "vorlane_input_open", input="1") == 1
        assert total(before, "vorlane_output_listening", output="2") == 1
        assert abs(total(before, "vorlane_start_time_seconds") - started) < 120
        assert [value for (name, _), value in before.items() if name == "vorlane_status"] == [1]

        # A display on output 1, so that its batches and bytes are counted as they go out.
        display = socket.create_connection(("127.0.0.1", gateway.first_port))
        for round_number in (1, 2):
            send_traffic(simulator, gateway)

            def risen():
                now = scrape(gateway)
                rising = ["vorlane_input_datagrams_total", "vorlane_input_sentences_received_total",
                          "vorlane_input_sentences_accepted_total", "vorlane_input_sentences_rejected_total"]
                for input_number in ("1", "2"):
                    for name in rising:
                        if total(now, name, input=input_number) <= total(before, name, input=input_number):
                            return None
                for name in ("vorlane_output_batches_total", "vorlane_output_sent_bytes_total"):
                    if total(now, name, output="1") <= total(before, name, output="1"):
                        return None
                return now

            now = wait_for(risen, f"the counters to rise in round {round_number}")
            assert total(now, "vorlane_output_clients", output="1") == 1
            before = now
        display.close()

        status, headers, body = fetch(gateway.url("/status"))
        assert status == 200 and headers["Content-Type"] == "application/json", (status, headers)
        facts = json.loads(body)
        assert isinstance(facts["status"], str) and facts["status"], facts["status"]
        assert [i["source"] for i in facts["inputs"]] == ["127.0.0.10", "127.0.0.11"]
        for entry in facts["inputs"]:
            assert entry["datagrams"] >= total(before, "vorlane_input_datagrams_total", input=str(entry["input"]))
            assert entry["rejected"] > 0 and entry["last_hour"].startswith("Dropped"), entry["last_hour"]
            assert isinstance(entry["per_minute"], list)
        assert [o["port"] for o in facts["outputs"]] == [gateway.first_port, gateway.first_port + 1]

        # HEAD: GET's headers without the body. Anything that could change state: 405.
        status, headers, body = fetch(gateway.url("/metrics"), "HEAD")
        assert status == 200 and body == b"" and int(headers["Content-Length"]) > 0, (status, body)
        for method in ("POST", "PUT", "DELETE"):
            status, headers, _ = fetch(gateway.url("/metrics"), method)
            assert status == 405 and headers["Allow"] == "GET, HEAD", (method, status)

        # A request larger than any GET is cut off at once, its body unread.
        with socket.create_connection(("127.0.0.1", gateway.status_port), timeout=5) as oversized:
            oversized.sendall(b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n" +
                              b"x" * 100000)
            try:
                assert oversized.recv(100) == b"", "an oversized request was answered"
            except ConnectionResetError:
                pass
    finally:
        gateway.stop()


def check_page_in_browser(program, simulator, scratch):
    browser = shutil.which("chromium")
    if browser is None:
        skip("chromium is not installed (./test.sh installs it)")
    gateway = Gateway(program, scratch, free_port())
    try:
        send_traffic(simulator, gateway)
        profile = tempfile.mkdtemp(dir=scratch)
        dom = subprocess.run(
            [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             f"--user-data-dir={profile}", "--dump-dom", gateway.url("/")],
            check=True, capture_output=True, text=True, timeout=60).stdout
        shown = re.search(r'<strong id="status">([^<]+)</strong>', dom)
        assert shown and shown.group(1) in ("Ready", "Active", "Idle"), dom[:2000]
        assert dom.count("<svg") == 2 and "Input 2" in dom and "127.0.0.11" in dom, dom[:2000]
    finally:
        gateway.stop()


def expect_only_the_outputs_listen(program, scratch, status_port):
    gateway = Gateway(program, scratch, status_port)
    try:
        listing = subprocess.run(["ss", "-ltnpH"], check=True, capture_output=True, text=True).stdout
        ports = {int(re.search(r":(\d+)\s", line).group(1))
                 for line in listing.splitlines() if f"pid={gateway.process.pid}," in line}
        assert ports == {gateway.first_port, gateway.first_port + 1}, ports
        return gateway.output()
    finally:
        gateway.stop()


def check_port_zero(program, simulator, scratch):
    assert "status listener" not in expect_only_the_outputs_listen(program, scratch, 0)


# A status port that is an output's is left to the output, and the journal says why.
def check_port_of_an_output(program, simulator, scratch):
    said = expect_only_the_outputs_listen(program, scratch, None)
    assert "status listener not open" in said and "the port is an output's" in said, said


CASES = {
    "metrics_and_status": check_metrics_and_status,
    "page_in_browser": check_page_in_browser,
    "port_zero": check_port_zero,
    "port_of_an_output": check_port_of_an_output,
}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in CASES:
        print(__doc__, file=sys.stderr)
        return 2
    if os.geteuid() != 0:
        skip("capturing on lo and sending from 127.0.0.10 need root")
    with tempfile.TemporaryDirectory() as scratch:
        CASES[sys.argv[1]](sys.argv[2], sys.argv[3], scratch)
    print(f"{sys.argv[1]}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
