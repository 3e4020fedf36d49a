#!/usr/bin/env python3
"""Drives a real Chromium or Firefox, headless, over pages served on loopback hosts.

  browse.py write chromium|firefox PROFILE   every page stores localStorage, sessionStorage, IndexedDB, Cache
                                             Storage and origin-private file system entries, then the
                                             browser quits cleanly
  browse.py read  chromium|firefox PROFILE   every page reports what it still sees; prints one JSON object:
                                             origin -> {"local": {...}, "idb": [...], "fs": [...]}

PROFILE is Chromium's user-data folder or Firefox's profile folder. The origins are
http://127.0.0.1:8601 (with an iframe of 127.0.0.2 inside it), http://127.0.0.2:8602 and
http://127.0.0.3:8603. Exit status 3: the browser did not finish in time.
"""
import http.server
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import urllib.parse

HOSTS = [("127.0.0.1", 8601), ("127.0.0.2", 8602), ("127.0.0.3", 8603)]

PAGE = """<!doctype html><title>site data</title><script>
const params = new URLSearchParams(location.search);
const mode = params.get('mode');
const chain = (params.get('chain') || '').split(',').filter(Boolean);
const origin = location.origin;
function report(body) {
  return fetch('/report', {method: 'POST', body: JSON.stringify(body)});
}
const frameDone = new Promise((resolve) => {
  addEventListener('message', resolve);
  setTimeout(resolve, 5000);
});
async function next() {
  if (params.get('frame')) {
    parent.postMessage('done', '*');
    return;
  }
  if (origin.endsWith(':8601')) await frameDone;
  if (chain.length) {
    location.href = chain[0] + '/page.html?mode=' + mode + '&chain=' + chain.slice(1).join(',');
  } else {
    fetch('/done').then(() => { document.title = 'done'; });
  }
}
function openDb() {
  return new Promise((resolve, reject) => {
    const request = indexedDB.open('sitedata', 1);
    request.onupgradeneeded = () => request.result.createObjectStore('s');
    request.onsuccess = () => resolve(request.result);
    request.onerror = () => reject(request.error);
  });
}
async function write() {
  const where = params.get('frame') ? origin + ' in ' + params.get('frame') : origin;
  for (let i = 0; i < 3; ++i) localStorage.setItem('key' + i, 'local-value-' + where + '-' + i);
  localStorage.setItem('cl\u00e9 \u00fcnicode', 'v\u00e4lue-' + where);
  sessionStorage.setItem('session-key', 'session-value-' + where);
  // Enough to make Chromium flush its log into a (Snappy-compressed) table file.
  if (origin.endsWith(':8603')) localStorage.setItem('large', 'large-value-' + where + '-'.repeat(100000));
  const db = await openDb();
  await new Promise((resolve) => {
    const tx = db.transaction('s', 'readwrite');
    tx.objectStore('s').put('idb-value-' + where, 'key');
    tx.oncomplete = resolve;
  });
  db.close();
  if (self.caches) {
    const cache = await caches.open('sitedata');
    await cache.put('/cached', new Response('cache-value-' + where));
  }
  const file = await (await navigator.storage.getDirectory()).getFileHandle('sitedata.txt', {create: true});
  const writable = await file.createWritable();
  await writable.write('fs-value-' + where);
  await writable.close();
  await report({origin: where, written: true});
}
async function read() {
  const where = params.get('frame') ? origin + ' in ' + params.get('frame') : origin;
  const local = {};
  for (let i = 0; i < localStorage.length; ++i) {
    const key = localStorage.key(i);
    local[key] = localStorage.getItem(key);
  }
  const values = [];
  const db = await openDb();
  if (db.objectStoreNames.contains('s')) {
    await new Promise((resolve) => {
      const request = db.transaction('s').objectStore('s').getAll();
      request.onsuccess = () => { values.push(...request.result); resolve(); };
      request.onerror = resolve;
    });
  }
  db.close();
  const files = [];
  for await (const handle of (await navigator.storage.getDirectory()).values())
    if (handle.kind === 'file') files.push(await (await handle.getFile()).text());
  await report({origin: where, local: local, idb: values, fs: files});
}
(mode === 'write' ? write() : read()).catch((e) => report({origin: origin, error: String(e)})).finally(next);
</script>
<iframe id=frame></iframe>
<script>
if (!params.get('frame') && origin.endsWith(':8601'))
  document.getElementById('frame').src =
    'http://127.0.0.2:8602/page.html?mode=' + mode + '&frame=' + encodeURIComponent(origin);
</script>
"""


class State:
    reports = {}
    done = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send(self, body, kind="text/html"):
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = urllib.parse.urlparse(self.path).path
        if path == "/page.html":
            self.send(PAGE.encode(), "text/html; charset=utf-8")
        elif path == "/done":
            self.send(b"ok", "text/plain")
            State.done.set()
        else:
            self.send_error(404)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        report = json.loads(body)
        State.reports[report.pop("origin")] = report
        self.send(b"ok", "text/plain")


def serve():
    servers = [http.server.ThreadingHTTPServer(host, Handler) for host in HOSTS]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    return servers


def start_url(mode):
    urls = ["http://%s:%d" % host for host in HOSTS]
    return urls[0] + "/page.html?mode=" + mode + "&chain=" + ",".join(urls[1:])


def run_chromium(mode, profile):
    program = shutil.which("chromium") or shutil.which("chromium-browser")
    # The DevTools pipe: commands go in on fd 3, answers come out on fd 4.
    to_browser_r, to_browser_w = os.pipe()
    from_browser_r, from_browser_w = os.pipe()
    child_in, child_out = 3, 4

    def setup():
        os.dup2(to_browser_r, child_in)
        os.dup2(from_browser_w, child_out)

    process = subprocess.Popen(
        [program, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--password-store=basic", "--remote-debugging-pipe", "--user-data-dir=" + profile,
         start_url(mode)],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=setup,
        pass_fds=(child_in, child_out))
    os.close(to_browser_r)
    os.close(from_browser_w)
    finished = State.done.wait(60)
    time.sleep(1)  # lets the last writes reach the browser's storage service
    os.write(to_browser_w, json.dumps({"id": 1, "method": "Browser.close"}).encode() + b"\0")
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        process.kill()
        finished = False
    os.close(to_browser_w)
    os.close(from_browser_r)
    return finished


def marionette_quit(profile):
    """Firefox's own clean quit, asked over its remote-control port (Marionette)."""
    with open(os.path.join(profile, "MarionetteActivePort")) as port_file:
        port = int(port_file.read().strip())
    with socket.create_connection(("127.0.0.1", port), timeout=30) as connection:
        stream = connection.makefile("rb")

        def receive():
            length = b""
            while not length.endswith(b":"):
                length += stream.read(1)
            return json.loads(stream.read(int(length[:-1])))

        def command(number, name, parameters):
            body = json.dumps([0, number, name, parameters]).encode()
            connection.sendall(str(len(body)).encode() + b":" + body)
            reply = receive()
            if reply[2] is not None:
                raise RuntimeError("Marionette %s: %s" % (name, reply[2]))

        receive()  # the greeting
        command(1, "WebDriver:NewSession", {})
        command(2, "Marionette:Quit", {"flags": ["eAttemptQuit"]})


def run_firefox(mode, profile):
    program = shutil.which("firefox-esr") or shutil.which("firefox")
    os.makedirs(profile, exist_ok=True)
    with open(os.path.join(profile, "user.js"), "w") as prefs:
        # The remote-control port on a free port of Firefox's choosing, written into the profile.
        prefs.write('user_pref("marionette.port", 0);\n')
        prefs.write('user_pref("browser.shell.checkDefaultBrowser", false);\n')
        prefs.write('user_pref("datareporting.policy.dataSubmissionEnabled", false);\n')
        prefs.write('user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);\n')
        prefs.write('user_pref("browser.aboutwelcome.enabled", false);\n')
        prefs.write('user_pref("app.update.enabled", false);\n')
    try:
        os.remove(os.path.join(profile, "MarionetteActivePort"))
    except FileNotFoundError:
        pass
    environment = dict(os.environ, MOZ_HEADLESS="1")
    process = subprocess.Popen(
        [program, "--headless", "--no-remote", "--marionette", "--profile", profile, start_url(mode)],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=environment)
    finished = State.done.wait(60)
    time.sleep(1)  # lets the last writes reach the browser's storage
    try:
        marionette_quit(profile)
        process.wait(60)
    except (OSError, ValueError, RuntimeError, subprocess.TimeoutExpired):
        process.kill()
        process.wait()
        finished = False
    return finished


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("write", "read") or \
            sys.argv[2] not in ("chromium", "firefox"):
        sys.stderr.write(__doc__)
        return 2
    mode, browser, profile = sys.argv[1:]
    servers = serve()
    finished = (run_chromium if browser == "chromium" else run_firefox)(mode, os.path.abspath(profile))
    for server in servers:
        server.shutdown()
    if mode == "read":
        print(json.dumps(State.reports, sort_keys=True, indent=1))
    return 0 if finished else 3


if __name__ == "__main__":
    sys.exit(main())
