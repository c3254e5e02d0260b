#!/usr/bin/python3
"""kurvan-bench: the web remote's page in headless Chromium with its CPU slowed down 4x, as on a
cheap phone, against the simulator, everything on 127.0.0.1.
  15 the page's bytes: what the first view loads (page, script, style, manifest, favicon)
  16 navigation start until the first frame that shows the jukebox's state, for a logged-in
     phone, beside a blank page from the same service (its answer to a path it does not know)
Prints ROW and NOTE lines for bench/run.sh.

Usage: web_first_view.py KURVANCTL TONALIS_SIM [--quick]
"""

import os
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

KURVANCTL, SIM = sys.argv[1], sys.argv[2]
RUNS = 3 if "--quick" in sys.argv[3:] else 15
THROTTLE = 4
PASSWORD = "tonalis"
FIRST_VIEW_FILES = ("", "app.js", "style.css", "manifest.webmanifest", "favicon.ico")
INSTALL_FILES = ("icon-192.png", "icon-512.png", "icon-maskable-512.png", "apple-touch-icon.png")

# Runs in every document before its own scripts: resolves with the time (ms since navigation
# start) of the first frame after the page shows the jukebox's state, or, for a document that
# is not the remote, after it is parsed. The frame is taken as shown once the task after its
# animation callbacks runs.
FIRST_VIEW_PROBE = """
window.firstView = new Promise((resolve) => {
  let done = false;
  const shown = () => {
    if (done) return;
    done = true;
    requestAnimationFrame(() => setTimeout(() => resolve(performance.now()), 0));
  };
  const check = () => {
    const body = document.body;
    if (!body) return;
    if (!document.getElementById('panel')) { if (document.readyState !== 'loading') shown(); return; }
    if (body.dataset.state === 'connected') shown();
  };
  new MutationObserver(check).observe(document, {subtree: true, childList: true, attributes: true});
  document.addEventListener('DOMContentLoaded', check);
});
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port):
    deadline = time.monotonic() + 10
    while True:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def row(*cells):
    print("\t".join(("ROW",) + cells), flush=True)


def note(text):
    print("NOTE\t" + text, flush=True)


def main():
    work = tempfile.TemporaryDirectory()
    sim_port, web_port = free_port(), free_port()
    sim = subprocess.Popen([SIM, "--listen", "127.0.0.1", "--port", str(sim_port), "--password", PASSWORD,
                            "--song-length", "600", "--quiet"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    serve = subprocess.Popen([KURVANCTL, "serve", "--host", "127.0.0.1", "--port", str(sim_port),
                              "--listen", "127.0.0.1:%d" % web_port],
                             env=dict(os.environ, KURVAN_PASSWORD=PASSWORD),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    browser = None
    try:
        wait_for_port(sim_port)
        wait_for_port(web_port)
        url = "http://127.0.0.1:%d/" % web_port
        sizes = {path or "index.html": len(urllib.request.urlopen(url + path, timeout=10).read())
                 for path in FIRST_VIEW_FILES + INSTALL_FILES}

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=360,640",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--no-first-run", "--disable-quic", "--user-data-dir=" + os.path.join(work.name, "profile")):
            options.add_argument(argument)
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": 360, "height": 640, "pixelRatio": 2.0, "touch": True}})
        browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

        # A phone that logged in before: the session cookie is there when the page opens.
        browser.get(url)
        WebDriverWait(browser, 10).until(lambda b: b.find_element("id", "password").is_displayed())
        browser.find_element("id", "password").send_keys(PASSWORD + "\n")
        WebDriverWait(browser, 10).until(
            lambda b: b.execute_script("return document.body.dataset.state") == "connected")

        browser.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": FIRST_VIEW_PROBE})
        browser.execute_cdp_cmd("Emulation.setCPUThrottlingRate", {"rate": THROTTLE})

        def first_view(address):
            browser.get("about:blank")
            browser.get(address)
            return browser.execute_async_script(
                "window.firstView.then(arguments[arguments.length - 1]);")

        blank_url = url + "blank"
        first_view(url), first_view(blank_url)  # warm: the browser's own start-up is in neither
        page, blank = [], []
        for _ in range(RUNS):
            page.append(first_view(url))
            blank.append(first_view(blank_url))
    finally:
        if browser:
            browser.quit()
        for process in (serve, sim):
            process.send_signal(signal.SIGTERM)
            process.wait(10)
        work.cleanup()

    first_view_bytes = sum(sizes[p or "index.html"] for p in FIRST_VIEW_FILES)
    row("15 Web remote page: bytes of the first view", "%.1f KiB" % (first_view_bytes / 1024), "-", "-", "-",
        "< 64 KiB", "met" if first_view_bytes < 64 * 1024 else "missed")
    page_ms, blank_ms = statistics.median(page), statistics.median(blank)
    row("16 Web remote page: first view, CPU slowed %dx, median of %d" % (THROTTLE, RUNS), "%.0f ms" % page_ms,
        "blank page, same service and throttling", "%.0f ms" % blank_ms, "%.2fx" % (page_ms / blank_ms),
        "< 1 s", "met" if page_ms < 1000 else "missed")
    note("15: " + ", ".join("%s %d B" % (p or "index.html", sizes[p or "index.html"]) for p in FIRST_VIEW_FILES)
         + "; for the home screen only: " + ", ".join("%s %d B" % (p, sizes[p]) for p in INSTALL_FILES))
    note("16: first view fastest %.0f ms, slowest %.0f ms; blank page fastest %.0f ms, slowest %.0f ms; the page's "
         "first view includes /api/state and the first event of the state stream" %
         (min(page), max(page), min(blank), max(blank)))


if __name__ == "__main__":
    main()
