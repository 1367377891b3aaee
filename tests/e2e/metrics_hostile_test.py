#!/usr/bin/env python3
"""Hostile clients against `tavu monitor --metrics` on a free loopback port: slow clients that
send a byte at a time, megabyte request lines, bad methods, paths and bytes, and a hundred
connections at once. Meanwhile a good scrape must go on being answered (while the hundred are
held, the server is full: the scrape is answered as soon as they go). The served text holds
no password and no user name, and the program ends cleanly (no sanitizer report). The window
program, without a display (offscreen), serves at the address of its settings too.

Usage: metrics_hostile_test.py TAVU
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

tavu = sys.argv[1]
os.environ["TAVU_TEST_NOW"] = "2026-12-07T12:00:00"
for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
    os.environ.pop(name, None)
work = tempfile.mkdtemp(prefix="tavu-metrics-hostile-")
config = os.path.join(work, "config")
run = os.path.join(work, "run")
os.mkdir(config)
os.mkdir(run, 0o700)
os.environ["XDG_RUNTIME_DIR"] = run
with open(os.path.join(config, "tavu.ini"), "w") as f:
    f.write("[Settings]\nShowSplash=0\nMUser=mailjoe\nMPassword=secretpw\n"
            "[Connections]\nProviderUser=dialjoe\nProviderPassword=dialsecret\n")
with open(os.path.join(config, "logfile.log"), "wb") as f:
    f.write(b"01-12-2026|10:00:00|01-12-2026|11:00:00|loguser|ppp0|Provider|1000|2000|\n")

probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()
url = "http://127.0.0.1:%d/metrics" % port
out = open(os.path.join(work, "out.txt"), "w")
err = open(os.path.join(work, "err.txt"), "w")
proc = subprocess.Popen([tavu, "monitor", "--config-dir", config, "--metrics",
                         "127.0.0.1:%d" % port], stdout=out, stderr=err)


def fail(why):
    print("FAIL:", why)
    proc.kill()
    proc.wait()
    for name in ("out.txt", "err.txt"):
        with open(os.path.join(work, name)) as f:
            print("---", name)
            print(f.read()[-4000:])
    shutil.rmtree(work, ignore_errors=True)
    sys.exit(1)


def scrape(timeout=5):
    try:
        with urllib.request.urlopen(url, timeout=timeout) as r:
            return r.read().decode() if r.status == 200 else None
    except Exception:
        return None


for _ in range(100):
    if scrape() is not None:
        break
    time.sleep(0.1)
else:
    fail("the server never answered")

stop = threading.Event()
problems = []


def slowloris():
    request = b"GET /metrics HTTP/1.1\r\nX-Slow: " + b"z" * 4000
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
        for byte in request:
            if stop.is_set():
                break
            s.send(bytes([byte]))
            time.sleep(0.02)
        s.close()
    except OSError:
        pass  # closed by the server's deadline


def megabyte_lines():
    line = b"GET /" + b"a" * (1 << 20) + b" HTTP/1.1\r\n\r\n"
    while not stop.is_set():
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            try:
                s.sendall(line)
            except OSError:
                pass
            answer = s.recv(64)
            if answer and not answer.startswith(b"HTTP/1.1 431"):
                problems.append("a megabyte line got: %r" % answer)
            s.close()
        except OSError:
            pass


BAD = [
    (b"DELETE /metrics HTTP/1.1\r\n\r\n", b"HTTP/1.1 405"),
    (b"BREW /metrics HTTP/1.1\r\n\r\n", b"HTTP/1.1 405"),
    (b"GET /../../etc/passwd HTTP/1.1\r\n\r\n", b"HTTP/1.1 404"),
    (b"GET /metrics HTTP/9.9\r\n\r\n", b"HTTP/1.1 505"),
    (b"\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\n\n", b"HTTP/1.1 400"),
    (b"GET /metrics HTTP/1.1\r\nBad Header\r\n\r\n", b"HTTP/1.1 400"),
]


def bad_requests():
    while not stop.is_set():
        for request, status in BAD:
            try:
                s = socket.create_connection(("127.0.0.1", port), timeout=5)
                s.sendall(request)
                answer = s.recv(64)
                if not answer.startswith(status):
                    problems.append("%r got %r" % (request[:20], answer))
                s.close()
            except OSError as e:
                problems.append("%r: %s" % (request[:20], e))


threads = [threading.Thread(target=slowloris) for _ in range(6)]
threads += [threading.Thread(target=megabyte_lines) for _ in range(3)]
threads += [threading.Thread(target=bad_requests)]
for t in threads:
    t.start()
good = 0
tries = 0
until = time.time() + 5
while time.time() < until:
    tries += 1
    good += scrape() is not None
    time.sleep(0.05)
stop.set()
for t in threads:
    t.join()
print("good scrapes among hostile clients: %d of %d" % (good, tries))
if problems:
    fail("; ".join(problems[:5]))
if good != tries:
    fail("only %d of %d scrapes were answered" % (good, tries))

# A hundred connections at once: sixteen are held, the others closed at once.
flood = []
for _ in range(100):
    s = socket.socket()
    s.settimeout(2)
    s.connect(("127.0.0.1", port))
    flood.append(s)
time.sleep(0.5)
closed = 0
for s in flood:
    s.setblocking(False)
    try:
        closed += s.recv(1) == b""
    except BlockingIOError:
        pass
    except ConnectionResetError:
        closed += 1
for s in flood:
    s.close()
print("connections closed at once: %d of 100" % closed)
if closed < 84:
    fail("only %d of 100 connections were closed at once" % closed)
text = None
until = time.time() + 2
while text is None and time.time() < until:
    text = scrape()
if text is None:
    fail("no scrape answered after the flood")

for secret in ("secretpw", "dialsecret", "mailjoe", "dialjoe", "loguser"):
    if secret in text:
        fail("the metrics show %r" % secret)
if 'tavu_transmit_bytes_total{connection="Provider"} 1000' not in text:
    fail("the served text lacks the log's figures:\n" + text)

proc.terminate()
status = proc.wait(timeout=20)
out.close()
err.close()
with open(os.path.join(work, "err.txt")) as f:
    complaints = f.read()
if status != 0 or complaints:
    fail("the monitor ended with status %d: %s" % (status, complaints))

# The window program serves at Settings/MetricsListen.
probe = socket.socket()
probe.bind(("127.0.0.1", 0))
port = probe.getsockname()[1]
probe.close()
url = "http://127.0.0.1:%d/metrics" % port
with open(os.path.join(config, "tavu.ini"), "w") as f:
    f.write("[Settings]\nShowSplash=0\nConfirmExit=0\nMetricsListen=127.0.0.1:%d\n" % port)
out = open(os.path.join(work, "out.txt"), "w")
err = open(os.path.join(work, "err.txt"), "w")
proc = subprocess.Popen([tavu, "--config-dir", config], stdout=out, stderr=err,
                        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
text = None
until = time.time() + 20
while text is None and time.time() < until:
    text = scrape()
    time.sleep(0.1)
if text is None or 'tavu_receive_bytes_total{connection="Provider"} 2000' not in text:
    fail("the window program does not serve: %r" % text)
proc.terminate()
if proc.wait(timeout=20) != 0:
    fail("the window program ended with status %d" % proc.returncode)
shutil.rmtree(work, ignore_errors=True)
print("PASS")
