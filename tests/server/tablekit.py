"""What the score server's tests share: marrowdale-scores started on a free port of 127.0.0.1,
requests to it from any loopback address (127.0.0.0/8 is all this machine's), and its figures."""
import atexit
import http.client
import json
import os
import re
import subprocess
import sys
import time


# Servers still running when a test ends, even by a fault of its own, would hold its output
# open and keep the test runner waiting for them.
started = []


@atexit.register
def stop_servers():
    for server in started:
        if server.poll() is None:
            server.kill()


def start(build, db, *options, stderr=None):
    """The server on a fresh port; its port in .port."""
    server = subprocess.Popen([os.path.join(build, "marrowdale-scores"), "--listen", "127.0.0.1:0", "--db", db,
                               *options], stdout=subprocess.PIPE, stderr=stderr, text=True)
    started.append(server)
    line = server.stdout.readline()
    if "listening on" not in line:
        sys.exit(f"FAIL the server did not start (status {server.wait()})")
    server.port = int(line.rstrip().rstrip("/").rsplit(":", 1)[1])
    return server


def ask(server, method, path, body=None, headers=None, source="127.0.0.1"):
    """One request on a connection of its own: status, body, the answer."""
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=120, source_address=(source, 0))
    sent = dict(headers or {})
    if body is not None:
        sent.setdefault("Content-Type", "application/octet-stream")
    connection.request(method, path, body, sent)
    answer = connection.getresponse()
    data = answer.read()
    connection.close()
    return answer.status, data, answer


def send(server, journal, **where):
    """A journal sent: status, the JSON answer, the answer."""
    status, data, answer = ask(server, "POST", "/api/games", journal, **where)
    return status, json.loads(data), answer


def one_sentence(text):
    return text[:1].isupper() and text.endswith(".") and "\n" not in text


SAMPLE = re.compile(r'^([a-z_]+)(\{[a-z]+="[^"]*"\})? ([0-9.]+)$')


def metrics(server):
    """GET /metrics read as Prometheus' text: {name or name{label}: value}; None when a line is
    not in that format or a sample's name has no TYPE."""
    status, data, _ = ask(server, "GET", "/metrics")
    figures, typed = {}, set()
    for line in data.decode().splitlines():
        if line.startswith("# TYPE "):
            typed.add(line.split()[2])
            continue
        if line.startswith("# HELP "):
            continue
        sample = SAMPLE.match(line)
        if status != 200 or not sample or sample.group(1) not in typed:
            return None
        figures[sample.group(1) + (sample.group(2) or "")] = float(sample.group(3))
    return figures


def wait_for(condition, seconds):
    """Whether condition() came true within seconds, asked every tenth of a second."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()
