#!/usr/bin/env python3
"""The status listener of the real program, read the way the ship's monitoring and a person read it.

Each case runs the vorlane program in a scratch directory, capturing on loopback (root only), fed
by vorlane-sim. Exits 77 with a "Skipped: " line when the case cannot run here.

Usage: status_listener_test.py CASE VORLANE VORLANE_SIM
  CASE: metrics_and_status | page_in_browser | port_zero | port_of_an_output | refused_requests |
        held_connections
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

    # status_port None: the first output's port. settings: further lines of the [Vorlane] section.
    def __init__(self, program, scratch, status_port, settings=""):
        self.first_port = free_port(pair=True)
        self.udp_port = free_port(socket.SOCK_DGRAM)
        self.status_port = self.first_port if status_port is None else status_port
        shutil.copy(program, os.path.join(scratch, "vorlane"))
        with open(os.path.join(scratch, "Vorlane.ini"), "w") as ini:
            ini.write(
                f"[Vorlane]\ninput_ip=127.0.0.1\noutput_ip=127.0.0.1\nfirst_output_port={self.first_port}\n"
                f"status_port={self.status_port}\n{settings}[QXInput]\n"
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


def exchange(port, request, source="127.0.0.1", seconds=5.0):
    """Everything the listener sends back until it closes or `seconds` pass, and the seconds that took."""
    started = time.monotonic()
    with socket.socket() as client:
        client.bind((source, 0))
        client.settimeout(seconds)
        client.connect(("127.0.0.1", port))
        client.sendall(request)
        received = b""
        try:
            while chunk := client.recv(65536):
                received += chunk
        except (ConnectionResetError, socket.timeout):
            pass
    return received, time.monotonic() - started


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def sanitized(program):
    """AddressSanitizer keeps freed memory in quarantine and maps shadow memory: resident size then
    tells nothing of what the program itself keeps."""
    linked = subprocess.run(["ldd", program], capture_output=True, text=True).stdout
    return "libasan" in linked


def statuses(received):
    return re.findall(rb"^HTTP/1\.1 (\d{3}) ", received, re.MULTILINE)


# A request the listener must not act on gets one 400 and the connection closes; the names a
# monitoring system uses pass. {port} is the listener's.
REQUEST_ROWS = [
    ("upgrade_to_websocket", b"GET / HTTP/1.1\r\nHost: localhost\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n"
     b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n", b"400"),
    ("upgrade_to_h2c", b"GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: Upgrade, HTTP2-Settings\r\n"
     b"Upgrade: h2c\r\nHTTP2-Settings: AAMAAABkAAQAAP__\r\n\r\n", b"400"),
    ("content_length_twice_alike", b"GET /metrics HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n"
     b"Content-Length: 0\r\n\r\n", b"400"),
    ("content_length_in_conflict", b"GET /metrics HTTP/1.1\r\nHost: localhost\r\nContent-Length: 0\r\n"
     b"Content-Length: 2\r\n\r\n", b"400"),
    ("content_length_as_list", b"GET /metrics HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2, 2\r\n\r\n", b"400"),
    ("get_with_body", b"GET /metrics HTTP/1.1\r\nHost: localhost\r\nContent-Length: 3\r\n\r\nx=1", b"400"),
    ("head_with_chunked_body", b"HEAD /status HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n"
     b"0\r\n\r\n", b"400"),
    ("rebound_name", b"GET /status HTTP/1.1\r\nHost: attacker.example:{port}\r\n\r\n", b"400"),
    ("other_address", b"GET /status HTTP/1.1\r\nHost: 127.0.0.2:{port}\r\n\r\n", b"400"),
    ("no_host", b"GET /status HTTP/1.1\r\n\r\n", b"400"),
    ("folded_header", b"GET /status HTTP/1.1\r\nHost: localhost\r\nX-A: 1\r\n b\r\n\r\n", b"400"),
    ("localhost_with_port", b"GET /status HTTP/1.1\r\nHost: localhost:{port}\r\nConnection: close\r\n\r\n", b"200"),
    ("address_with_port", b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nConnection: close\r\n\r\n",
     b"200"),
    ("address_alone", b"HEAD /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", b"200"),
    ("configured_name", b"GET /status HTTP/1.1\r\nHost: Monitor.Ship.lan:{port}\r\nConnection: close\r\n\r\n",
     b"200"),
    ("http_1_0_without_host", b"GET /metrics HTTP/1.0\r\n\r\n", b"200"),
]


def check_refused_requests(program, simulator, scratch):
    gateway = Gateway(program, scratch, free_port(), "status_host_names=bridge-pc, monitor.ship.lan\n")
    try:
        for name, request, expected in REQUEST_ROWS:
            received, _ = exchange(gateway.status_port, request.replace(b"{port}", str(gateway.status_port).encode()))
            assert statuses(received) == [expected], (name, received[:300])

        # A flood of refused requests leaves no line per request in the journal.
        said = gateway.output()
        for _ in range(300):
            received, _ = exchange(gateway.status_port, REQUEST_ROWS[0][1])
            assert statuses(received) == [b"400"], received[:300]
        time.sleep(0.5)
        added = gateway.output()[len(said):]
        assert added.count("\n") <= 1 and "qt." not in added, added[:2000]
    finally:
        gateway.stop()


def check_held_connections(program, simulator, scratch):
    gateway = Gateway(program, scratch, free_port())
    port = gateway.status_port
    scrape_request = b"GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n"
    held = []
    try:
        # A head trickled a byte a second is closed 5 s after the accept, unanswered, while a
        # scraper is served beside it.
        slow = socket.socket()
        held.append(slow)
        slow.bind(("127.0.0.2", 0))
        slow.settimeout(0.2)
        slow.connect(("127.0.0.1", port))
        accepted = time.monotonic()
        received, _ = exchange(port, scrape_request)
        assert statuses(received) == [b"200"], received[:300]
        answer = None
        for byte in b"GET /metrics HTTP/1.1\r\nHost: localhost\r\n":
            try:
                slow.sendall(bytes([byte]))
                answer = slow.recv(100)
                break
            except socket.timeout:
                time.sleep(0.8)
            except (BrokenPipeError, ConnectionResetError):
                answer = b""
                break
        assert answer == b"" and 4.5 < time.monotonic() - accepted < 7, (answer, time.monotonic() - accepted)

        # The third connection from one address is closed at once; its first two are served.
        pair = [socket.create_connection(("127.0.0.1", port), timeout=5, source_address=("127.0.0.3", 0))
                for _ in range(2)]
        held.extend(pair)
        received, took = exchange(port, scrape_request, source="127.0.0.3")
        assert received == b"" and took < 1, (received[:300], took)
        pair[0].sendall(scrape_request)
        assert pair[0].recv(100).startswith(b"HTTP/1.1 200 "), "the first of two connections was not served"

        # Every place held by half-sent heads from several addresses: a scraper still gets in.
        for host in range(4, 12):
            for _ in range(2):
                holder = socket.create_connection(("127.0.0.1", port), timeout=5,
                                                  source_address=(f"127.0.0.{host}", 0))
                holder.sendall(b"GET / HTTP/1.1\r\n")
                held.append(holder)
        time.sleep(0.2)
        received, took = exchange(port, scrape_request)
        assert statuses(received) == [b"200"] and took < 2, (received[:300], took)

        # Requests pipelined by clients that read no answers cost the gateway about one answer
        # each, not one per request: a 40-byte request asks for 8 KiB.
        for client in held:
            client.close()
        held.clear()
        time.sleep(0.5)
        before = resident_kib(gateway.process.pid)
        request = b"GET /status HTTP/1.1\r\nHost:localhost\r\n\r\n"
        for host in range(20, 24):
            for _ in range(2):
                reader = socket.socket()
                held.append(reader)
                reader.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
                reader.bind((f"127.0.0.{host}", 0))
                reader.connect(("127.0.0.1", port))
                reader.sendall(request * (16 * 1024 // len(request) - 1))
        time.sleep(1)
        grown = resident_kib(gateway.process.pid) - before
        assert grown < 8 * 1024 or sanitized(program), f"{grown} KiB kept for unread answers"
    finally:
        for client in held:
            client.close()
        gateway.stop()


CASES = {
    "metrics_and_status": check_metrics_and_status,
    "page_in_browser": check_page_in_browser,
    "port_zero": check_port_zero,
    "port_of_an_output": check_port_of_an_output,
    "refused_requests": check_refused_requests,
    "held_connections": check_held_connections,
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
