#!/usr/bin/python3
"""The web remote in a real browser: a phone-sized headless Chromium against the real
`kurvanctl serve` and the real `tonalis-sim`, both on 127.0.0.1 with free ports. What reaches
the jukebox is read from the simulator's protocol log. The page is checked with axe-core
(tests/web/node_modules, installed by scripts/install-deps.sh) and photographed for the README. The remote speaks TLS (--tls) with
the certificate of its own authority, which the browser trusts as a phone does after the trust
step: imported into the browser's own certificate database, with no error ignored.

Usage: web_remote_browser.py KURVANCTL TONALIS_SIM SCREENSHOT_DIR
(KURVAN_SCREENSHOTS, when set, names the folder instead: scripts/screenshots.sh sets docs/screenshots.)
"""

import json
import os
import re
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

KURVANCTL, SIM = sys.argv[1], sys.argv[2]
SCREENSHOTS = os.environ.get("KURVAN_SCREENSHOTS") or sys.argv[3]
AXE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node_modules", "axe-core", "axe.min.js")
PASSWORD = "tonalis"
PORTRAIT, LANDSCAPE = (360, 640), (740, 360)
# What the staff need at every moment; the rest (logout, quitting) may sit in the menu.
MAIN_CONTROLS = ("lblStatus", "lblCurrentSong", "ProgressBar1", "lblTime", "cmdPrevTitle", "cmdStop",
                 "cmdNextTitle", "cmdCreditMinus", "lblCredits", "cmdCreditPlus", "scrVol", "lblVolume", "cmdMenu")
# Each wait is bounded by the behaviour's own limit plus a margin.
ANSWER_S = 5            # a request through the service to the jukebox and its push back
CONFIRM_S = 5 + 3       # a credit button comes back at the latest after 5 s
POLL_S = 2 + 5          # the service polls the jukebox every 2 s
RECONNECT_S = 4 + 5 + 5  # the retries after a loss come after 1, 2, 4 s; an attempt takes <= 5 s
ATTEMPT_S = 8 + 5       # the next attempt comes within 8 s (1 + 2 + 4 + 1 s pauses on)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def frame(text):
    data = text.encode("cp1252")
    return bytes([2, len(data) >> 8, len(data) & 0xFF]) + data + bytes([3])


class Jukebox:
    """The simulator as a process, so it can go away and come back on the same port."""

    def __init__(self, port, log_path):
        self.port, self.log_path, self.process, self.log = port, log_path, None, None

    def start(self):
        self.log = open(self.log_path, "ab")
        self.process = subprocess.Popen(
            [SIM, "--listen", "127.0.0.1", "--port", str(self.port), "--password", PASSWORD,
             "--song-length", "600"],
            stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + ANSWER_S
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("tonalis-sim did not start")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(ANSWER_S)
        if self.log:
            self.log.close()

    def received(self):
        """Every text the jukebox received, in order, from all clients."""
        with open(self.log_path, encoding="utf-8", errors="replace") as log:
            return re.findall(r"recv: (.*)", log.read())

    def commands(self):
        return [t for t in self.received() if not t.startswith("Get") and not t.startswith("Password=")]

    def send_as_other_client(self, text):
        """Another remote's command: the jukebox answers it with a notice to every client."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=ANSWER_S) as s:
            s.sendall(frame("Password=" + PASSWORD))
            s.recv(64)
            s.sendall(frame(text))
            s.recv(64)


class WebRemoteInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.jukebox = Jukebox(free_port(), os.path.join(cls.dir.name, "protocol.log"))
        cls.jukebox.start()
        cls.web_port = free_port()
        cls.serve_log = open(os.path.join(cls.dir.name, "serve.log"), "wb")
        cls.state_dir = os.path.join(cls.dir.name, "state")
        cls.start_serve()
        # The trust step: the authority goes into the NSS database of a HOME of the test's own,
        # where Chromium on Linux looks for certificates the user trusts.
        home = os.path.join(cls.dir.name, "home")
        nssdb = os.path.join(home, ".pki", "nssdb")
        os.makedirs(nssdb)
        subprocess.run(["certutil", "-N", "-d", "sql:" + nssdb, "--empty-password"], check=True)
        subprocess.run(["certutil", "-A", "-d", "sql:" + nssdb, "-n", "kurvan", "-t", "C,,",
                        "-i", os.path.join(cls.state_dir, "ca.pem")], check=True)

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        # Nothing but the page: no updates, sync or other calls of Chromium's own.
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=360,640",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--no-first-run", "--disable-quic",
                         "--user-data-dir=" + os.path.join(cls.dir.name, "profile")):
            options.add_argument(argument)
        # A phone: narrow screen, touch.
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": PORTRAIT[0], "height": PORTRAIT[1], "pixelRatio": 2.0, "touch": True}})
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver", env=dict(os.environ, HOME=home)),
                                       options=options)
        os.makedirs(SCREENSHOTS, exist_ok=True)
        if not os.path.exists(AXE):
            raise RuntimeError(AXE + " is missing: scripts/install-deps.sh installs it")
        with open(AXE, encoding="utf-8") as axe:
            cls.axe_source = axe.read()
        cls.url = "https://127.0.0.1:%d/" % cls.web_port

    @classmethod
    def start_serve(cls):
        env = dict(os.environ, KURVAN_PASSWORD=PASSWORD, STATE_DIRECTORY=cls.state_dir)
        cls.serve = subprocess.Popen(
            [KURVANCTL, "serve", "--host", "127.0.0.1", "--port", str(cls.jukebox.port),
             "--listen", "127.0.0.1:%d" % cls.web_port, "--tls"],
            env=env, stdout=cls.serve_log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + ANSWER_S
        while True:
            try:
                socket.create_connection(("127.0.0.1", cls.web_port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.serve.send_signal(signal.SIGTERM)
        cls.serve.wait(ANSWER_S)
        cls.jukebox.stop()
        cls.serve_log.close()
        cls.dir.cleanup()

    def el(self, element_id):
        return self.browser.find_element(By.ID, element_id)

    def wait_until(self, condition, seconds, message):
        WebDriverWait(self.browser, seconds, poll_frequency=0.05).until(lambda _: condition(), message)

    def text(self, element_id):
        return self.el(element_id).text

    def emulate(self, size=PORTRAIT, dark=False):
        """The phone held upright or on its side, in the light or the dark scheme."""
        width, height = size
        self.browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 2, "mobile": True,
            "screenOrientation": {"type": "portraitPrimary" if height > width else "landscapePrimary",
                                  "angle": 0 if height > width else 90}})
        self.browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]})

    def screenshot(self, name):
        self.browser.save_screenshot(os.path.join(SCREENSHOTS, "web-%s.png" % name))

    def assert_accessible(self, where):
        """No violation of axe-core's WCAG 2.x A and AA rules in what the page shows now."""
        self.browser.execute_script(self.axe_source)
        violations = self.browser.execute_async_script("""
            const done = arguments[arguments.length - 1];
            axe.run(document, {runOnly: {type: 'tag',
                                         values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa']}})
               .then((r) => done(r.violations.map((v) => v.id + ': ' + v.nodes.map((n) => n.target).join(' '))),
                     (e) => done(['axe failed: ' + e]));""")
        self.assertEqual(violations, [], where)

    def assert_one_screen(self, where):
        """Nothing wider than the screen, and every main control inside the first screen."""
        outside = self.browser.execute_script("""
            const out = [];
            if (document.documentElement.scrollWidth > innerWidth) out.push('scrolls sideways');
            for (const id of arguments[0]) {
              const r = document.getElementById(id).getBoundingClientRect();
              if (!r.width || !r.height || r.left < 0 || r.top < 0 || r.right > innerWidth || r.bottom > innerHeight)
                out.push(id);
            }
            return out;""", MAIN_CONTROLS)
        self.assertEqual(outside, [], where)

    def log_in(self):
        self.browser.get(self.url)
        self.wait_until(lambda: self.el("login").is_displayed() or self.el("panel").is_displayed(),
                        ANSWER_S, "neither login nor panel")
        if self.el("login").is_displayed():
            self.el("password").send_keys(PASSWORD + "\n")
        self.wait_until(lambda: self.text("lblStatus") == "Verbindung hergestellt", ANSWER_S, "no state")

    def test_1_wrong_then_right_password(self):
        self.browser.get(self.url)
        self.wait_until(lambda: self.el("login").is_displayed(), ANSWER_S, "no login form")
        self.assertFalse(self.el("panel").is_displayed())
        self.el("password").send_keys("falsch\n")
        self.wait_until(lambda: self.text("loginMessage") == "Falsches Passwort.", ANSWER_S, "no refusal")
        self.assertFalse(self.el("panel").is_displayed())
        self.assert_accessible("login form with its refusal")
        self.el("password").clear()
        self.el("password").send_keys(PASSWORD + "\n")
        self.wait_until(lambda: self.el("panel").is_displayed(), ANSWER_S, "no panel after the right password")

    def test_1b_every_way_in_ends_on_trusted_https(self):
        # By name and by address, and from the plain-HTTP address a phone may type: each ends
        # on the remote over https with no certificate warning in between.
        for start in ("https://localhost:%d/" % self.web_port, "http://127.0.0.1:%d/" % self.web_port):
            self.browser.get(start)
            self.wait_until(lambda: self.el("login").is_displayed() or self.el("panel").is_displayed(),
                            ANSWER_S, "no remote at " + start)
            self.assertTrue(self.browser.current_url.startswith("https://"), self.browser.current_url)
        # The trust page, over plain HTTP, knows that this browser trusts the remote already.
        self.browser.get("http://127.0.0.1:%d/trust" % self.web_port)
        self.wait_until(lambda: self.el("trusted").is_displayed(), ANSWER_S, "trust not recognised")
        link = self.browser.find_element(By.LINK_TEXT, "weiter zur Fernbedienung")
        self.assertEqual(link.get_attribute("href"), "https://127.0.0.1:%d/" % self.web_port)

    def test_2_title_and_credits_appear(self):
        self.log_in()
        self.wait_until(lambda: self.text("lblCurrentSong") == "Mein Lied", ANSWER_S, "no title")
        self.assertEqual(self.text("lblCredits"), "3")
        self.assertEqual(self.el("lblVersion").get_attribute("textContent"), "7.1.0 (Demo)")  # in the menu
        self.assertFalse(self.el("cmdStop").get_attribute("disabled"))
        # What each control may do comes from the service: stopped, the transport goes off; at no
        # credit, "−" too. The jukebox's state is changed by another remote.
        self.jukebox.send_as_other_client("CtrlStop")
        self.wait_until(lambda: self.text("lblPlayState") == "gestoppt", POLL_S, "stop not shown")
        self.assertEqual(self.enabled_controls(), ["cmdCreditMinus", "cmdCreditPlus", "scrVol", "cmdEnd"])
        self.jukebox.send_as_other_client("RemoveCredit|3")
        self.wait_until(lambda: self.text("lblCredits") == "0", POLL_S, "no credit left not shown")
        self.assertEqual(self.enabled_controls(), ["cmdCreditPlus", "scrVol", "cmdEnd"])
        self.jukebox.send_as_other_client("AddCredit|3")
        self.jukebox.send_as_other_client("CtrlN\u00e4chsterTitel")
        self.wait_until(lambda: self.el("cmdStop").is_enabled() and self.el("cmdCreditMinus").is_enabled(),
                        POLL_S, "controls not back")

    def test_3_plus_sends_one_credit_and_comes_back(self):
        self.log_in()
        before = self.jukebox.commands().count("AddCredit|1")
        credits = int(self.text("lblCredits"))
        # Clicked and read in one go, so the push cannot come in between.
        off_at_once = self.browser.execute_script(
            "const b = document.getElementById('cmdCreditPlus'); b.click(); return b.disabled;")
        self.assertTrue(off_at_once)
        self.wait_until(lambda: self.text("lblCredits") == str(credits + 1), ANSWER_S, "credit not shown")
        self.wait_until(lambda: self.el("cmdCreditPlus").is_enabled(), CONFIRM_S, "button did not come back")
        self.assertEqual(self.jukebox.commands().count("AddCredit|1"), before + 1)

    def test_4_a_slider_gesture_sends_one_volume(self):
        self.log_in()
        slider = self.el("scrVol")
        before_value = slider.get_attribute("value")
        before = [t for t in self.jukebox.commands() if t.startswith("SetVolume|")]
        # A drag with several movements, each well within the rest time.
        actions = ActionChains(self.browser)
        actions.click_and_hold(slider)
        for _ in range(5):
            actions.move_by_offset(12, 0)
        actions.release().perform()
        value = slider.get_attribute("value")
        self.assertNotEqual(value, before_value)
        wanted = "SetVolume|" + value
        self.wait_until(lambda: wanted in self.jukebox.commands(), ANSWER_S, "no " + wanted)
        # The jukebox reports the new volume at the next poll; by then any second send would show.
        self.wait_until(lambda: self.text("lblVolume") == value and self.poll_seen_after(wanted),
                        POLL_S, "no poll after the volume")
        after = [t for t in self.jukebox.commands() if t.startswith("SetVolume|")]
        self.assertEqual(after, before + [wanted])

    def poll_seen_after(self, text):
        received = self.jukebox.received()
        last = len(received) - 1 - received[::-1].index(text)
        return "GetVolume" in received[last + 1:]

    def test_5_a_new_title_shows_without_reload_on_every_page(self):
        self.log_in()
        self.browser.execute_script("window.notReloaded = true;")
        old = self.text("lblCurrentSong")
        # A second page, as a second phone would have, with its own stream.
        first = self.browser.current_window_handle
        self.browser.switch_to.new_window("tab")
        self.log_in()
        self.jukebox.send_as_other_client("CtrlN\u00e4chsterTitel")
        self.wait_until(lambda: self.text("lblCurrentSong") not in ("", "-", old), ANSWER_S, "title unchanged")
        second = self.text("lblCurrentSong")
        self.browser.close()
        self.browser.switch_to.window(first)
        self.wait_until(lambda: self.text("lblCurrentSong") == second, ANSWER_S, "first page differs")
        self.assertTrue(self.browser.execute_script("return window.notReloaded === true;"))

    def state(self):
        return self.browser.execute_script("return document.body.dataset.state")

    def enabled_controls(self):
        return [e.get_attribute("id") for e in self.browser.find_elements(By.CSS_SELECTOR, "[data-action]")
                if e.is_enabled()]

    def test_6_jukebox_gone_an_attempt_and_back(self):
        self.log_in()
        self.wait_until(lambda: self.text("lblElapsed"), ANSWER_S, "not playing")
        title, credits = self.text("lblCurrentSong"), self.text("lblCredits")
        self.assertFalse(self.el("lblStale").is_displayed())
        self.jukebox.stop()
        self.wait_until(lambda: self.text("lblStatus").startswith("Verbindung getrennt"), ANSWER_S, "no loss shown")
        # The last values stay, marked as old, with the time of the loss; nothing can be pressed.
        self.assertEqual(self.state(), "jukebox")
        self.assertIn("Versuch", self.text("lblStatus"))
        self.assertRegex(self.text("lblNotice"), r"^Jukebox seit \d\d:\d\d Uhr nicht erreichbar")
        self.assertEqual((self.text("lblCurrentSong"), self.text("lblCredits")), (title, credits))
        self.assertTrue(self.el("lblStale").is_displayed())
        self.assertEqual(self.enabled_controls(), [])
        self.assert_one_screen("jukebox gone")
        self.assert_accessible("jukebox gone")
        self.screenshot("jukebox-gone")
        # Something takes the connection and never answers: the attempt shows while it runs.
        with socket.socket() as silent:
            silent.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            silent.bind(("127.0.0.1", self.jukebox.port))
            silent.listen()
            attempt = r"Verbinde mit der Jukebox … \(Versuch \d+\)"
            self.wait_until(lambda: re.fullmatch(attempt, self.text("lblStatus")), ATTEMPT_S, "no attempt shown")
            self.assertEqual(self.state(), "jukebox")
        self.jukebox.start()
        self.wait_until(lambda: self.text("lblStatus") == "Verbindung hergestellt", RECONNECT_S, "no recovery")
        self.wait_until(lambda: self.el("cmdCreditPlus").is_enabled(), ANSWER_S, "controls not back")
        self.assertFalse(self.el("lblStale").is_displayed())
        self.assertEqual(self.text("lblNotice"), "")

    def test_6b_logout_and_a_restart_say_why(self):
        self.log_in()
        self.el("cmdMenu").click()
        self.el("cmdLogout").click()
        self.wait_until(lambda: self.el("login").is_displayed(), ANSWER_S, "no login after Abmelden")
        self.assertTrue(self.text("loginMessage").startswith("Abgemeldet"))
        self.el("password").send_keys(PASSWORD + "\n")
        self.wait_until(lambda: self.el("panel").is_displayed(), ANSWER_S, "no panel after logging in again")
        self.wait_until(lambda: self.state() == "connected", ANSWER_S, "not connected")
        title = self.text("lblCurrentSong")
        # The service goes away: the page says that its own connection is lost and that it retries.
        self.serve.send_signal(signal.SIGTERM)
        self.serve.wait(ANSWER_S)
        self.wait_until(lambda: self.state() == "service", ANSWER_S, "service loss not shown")
        self.assertEqual(self.text("lblStatus"), "Keine Verbindung zum Dienst – neuer Versuch …")
        self.wait_until(lambda: re.search(r"Versuch [2-9]", self.text("lblNotice")), RECONNECT_S, "no retries counted")
        self.assertEqual(self.text("lblCurrentSong"), title)
        self.assertEqual(self.enabled_controls(), [])
        # It comes back, restarted, and has forgotten every session: the page says so, not just "password".
        self.start_serve()
        self.wait_until(lambda: self.el("login").is_displayed(), RECONNECT_S, "no login after the restart")
        self.wait_until(lambda: "neu gestartet" in self.text("loginMessage"), ANSWER_S, "no reason given")
        self.assertEqual(self.text("loginHeading"), "Sitzung beendet")

    def test_7_one_screen_upright_and_on_its_side_in_light_and_dark(self):
        self.log_in()
        self.wait_until(lambda: self.text("lblElapsed"), ANSWER_S, "not playing")
        self.addCleanup(self.emulate)
        backgrounds = set()
        for dark, size, shot in ((False, PORTRAIT, "light"), (False, LANDSCAPE, "landscape"),
                                 (True, PORTRAIT, "dark"), (True, LANDSCAPE, None)):
            where = "%s, %dx%d" % ("dark" if dark else "light", *size)
            self.emulate(size, dark)
            self.wait_until(lambda: self.browser.execute_script("return innerWidth") == size[0], ANSWER_S, where)
            backgrounds.add(self.browser.execute_script(
                "return getComputedStyle(document.documentElement).backgroundColor"))
            self.assert_one_screen(where)
            self.assert_accessible(where)
            if shot:
                self.screenshot(shot)
        self.assertEqual(len(backgrounds), 2, "the dark scheme looks like the light one")
        # The menu with the quit confirmation open, in the dark.
        self.el("cmdMenu").click()
        self.el("cmdEnd").click()
        self.assert_accessible("menu with the quit confirmation, dark")
        self.el("cmdMenuClose").click()

    def test_8_installs_as_an_app(self):
        self.browser.get_log("browser")  # what earlier tests left; this page load's lines follow
        self.log_in()
        manifest = self.browser.execute_cdp_cmd("Page.getAppManifest", {})
        self.assertEqual(manifest["errors"], [])
        self.assertEqual(manifest["url"], self.url + "manifest.webmanifest")
        self.assertEqual(manifest["manifest"]["startUrl"], self.url)
        self.assertEqual(self.browser.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"], [])
        # Every icon it names, the favicon and the Apple touch icon: served, and of the size they claim.
        icons = json.loads(manifest["data"])["icons"] + [
            {"src": "favicon.ico", "sizes": "16x16 32x32"}, {"src": "apple-touch-icon.png", "sizes": "180x180"}]
        for icon in icons:
            size = self.browser.execute_async_script("""
                const done = arguments[arguments.length - 1];
                fetch(arguments[0]).then((r) => r.ok ? r.blob() : Promise.reject(r.status)).then(createImageBitmap)
                  .then((b) => done(b.width + 'x' + b.height), (e) => done('failed: ' + e));""", icon["src"])
            self.assertIn(size, icon["sizes"].split(), icon["src"])
        problems = [e["message"] for e in self.browser.get_log("browser")
                    if re.search(r"manifest|favicon|icon|404", e["message"], re.I)]
        self.assertEqual(problems, [])
        # Small on a slow phone: page, script, style and manifest together under 64 KiB.
        trusting = ssl.create_default_context(cafile=os.path.join(self.state_dir, "ca.pem"))
        size = sum(len(urllib.request.urlopen(self.url + path, timeout=ANSWER_S, context=trusting).read())
                   for path in ("", "app.js", "style.css", "manifest.webmanifest"))
        self.assertLess(size, 64 * 1024)

    def test_9_quit_only_from_the_menu_after_confirmation(self):
        self.log_in()
        # Its one button sits in the menu, out of sight until the menu opens.
        self.assertEqual(self.browser.execute_script(
            "return [...document.querySelectorAll('[data-action=quit]')].map((b) => b.closest('dialog') && b.id)"),
            ["cmdEnd"])
        self.assertFalse(self.el("cmdEnd").is_displayed())
        self.el("cmdMenu").click()
        self.el("cmdEnd").click()
        self.assertTrue(self.el("confirmEnd").is_displayed())
        self.el("confirmNo").click()
        self.assertFalse(self.el("confirmEnd").is_displayed())
        self.el("cmdMenuClose").click()
        # Requests go out in order: once the next one has arrived, a quit would have been seen.
        before = self.jukebox.commands().count("AddCredit|1")
        self.wait_until(lambda: self.el("cmdCreditPlus").is_enabled(), CONFIRM_S, "plus off")
        self.el("cmdCreditPlus").click()
        self.wait_until(lambda: self.jukebox.commands().count("AddCredit|1") == before + 1, ANSWER_S, "no credit")
        self.assertNotIn("CtrlBeenden", self.jukebox.commands())
        self.el("cmdMenu").click()
        self.el("cmdEnd").click()
        self.el("confirmYes").click()
        self.wait_until(lambda: "CtrlBeenden" in self.jukebox.commands(), ANSWER_S, "quit not sent")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
