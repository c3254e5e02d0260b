#!/usr/bin/python3
"""The web remote in a real browser: a phone-sized headless Chromium against the real
`kurvanctl serve` and the real `tonalis-sim`, both on 127.0.0.1 with free ports. What reaches
the jukebox is read from the simulator's protocol log. The remote speaks TLS (--tls) with the
certificate of its own authority, which the browser trusts as a phone does after the trust
step: imported into the browser's own certificate database, with no error ignored.

Usage: web_remote_browser.py KURVANCTL TONALIS_SIM
"""

import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

KURVANCTL, SIM = sys.argv[1], sys.argv[2]
PASSWORD = "tonalis"
# Each wait is bounded by the behaviour's own limit plus a margin.
ANSWER_S = 5            # a request through the service to the jukebox and its push back
CONFIRM_S = 5 + 3       # a credit button comes back at the latest after 5 s
POLL_S = 2 + 5          # the service polls the jukebox every 2 s
RECONNECT_S = 4 + 5 + 5  # the retries after a loss come after 1, 2, 4 s; an attempt takes <= 5 s


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
        cls.state = os.path.join(cls.dir.name, "state")
        cls.start_serve()
        # The trust step: the authority goes into the NSS database of a HOME of the test's own,
        # where Chromium on Linux looks for certificates the user trusts.
        home = os.path.join(cls.dir.name, "home")
        nssdb = os.path.join(home, ".pki", "nssdb")
        os.makedirs(nssdb)
        subprocess.run(["certutil", "-N", "-d", "sql:" + nssdb, "--empty-password"], check=True)
        subprocess.run(["certutil", "-A", "-d", "sql:" + nssdb, "-n", "kurvan", "-t", "C,,",
                        "-i", os.path.join(cls.state, "ca.pem")], check=True)

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=320,640",
                         "--user-data-dir=" + os.path.join(cls.dir.name, "profile")):
            options.add_argument(argument)
        # A phone: narrow screen, touch.
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": 320, "height": 640, "pixelRatio": 2.0, "touch": True}})
        cls.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver", env=dict(os.environ, HOME=home)),
                                       options=options)
        cls.url = "https://127.0.0.1:%d/" % cls.web_port

    @classmethod
    def start_serve(cls):
        env = dict(os.environ, KURVAN_PASSWORD=PASSWORD, STATE_DIRECTORY=cls.state)
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
        self.el("password").clear()
        self.el("password").send_keys(PASSWORD + "\n")
        self.wait_until(lambda: self.el("panel").is_displayed(), ANSWER_S, "no panel after the right password")
        # The page fits a phone: nothing wider than the screen.
        width = self.browser.execute_script("return document.documentElement.scrollWidth")
        self.assertLessEqual(width, 320)

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
        self.assertEqual(self.text("lblVersion"), "7.1.0 (Demo)")
        self.assertFalse(self.el("cmdStop").get_attribute("disabled"))
        # Every control a screen reader meets has a name.
        for element_id in ("cmdCreditPlus", "cmdCreditMinus", "cmdPrevTitle", "cmdStop", "cmdNextTitle"):
            self.assertTrue(self.el(element_id).get_attribute("aria-label"), element_id)

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

    def test_6_jukebox_gone_and_back(self):
        self.log_in()
        self.jukebox.stop()
        self.wait_until(lambda: self.text("lblStatus").startswith("Verbindung getrennt"), ANSWER_S, "no loss shown")
        self.assertTrue(self.el("cmdCreditPlus").get_attribute("disabled"))
        self.assertIn("Versuch", self.text("lblStatus"))
        self.jukebox.start()
        self.wait_until(lambda: self.text("lblStatus") == "Verbindung hergestellt", RECONNECT_S, "no recovery")
        self.wait_until(lambda: self.el("cmdCreditPlus").is_enabled(), ANSWER_S, "controls not back")

    def test_6b_logout_and_a_restart_say_why(self):
        self.log_in()
        self.el("cmdLogout").click()
        self.wait_until(lambda: self.el("login").is_displayed(), ANSWER_S, "no login after Abmelden")
        self.assertTrue(self.text("loginMessage").startswith("Abgemeldet"))
        self.el("password").send_keys(PASSWORD + "\n")
        self.wait_until(lambda: self.el("panel").is_displayed(), ANSWER_S, "no panel after logging in again")
        # The service restarts and forgets every session: the page says so, not just "password".
        self.serve.send_signal(signal.SIGTERM)
        self.serve.wait(ANSWER_S)
        self.start_serve()
        self.wait_until(lambda: self.el("login").is_displayed(), RECONNECT_S, "no login after the restart")
        self.wait_until(lambda: "neu gestartet" in self.text("loginMessage"), ANSWER_S, "no reason given")

    def test_7_quit_only_after_confirmation(self):
        self.log_in()
        self.el("cmdEnd").click()
        self.assertTrue(self.el("confirmEnd").is_displayed())
        self.el("confirmNo").click()
        self.assertFalse(self.el("confirmEnd").is_displayed())
        # Requests go out in order: once the next one has arrived, a quit would have been seen.
        before = self.jukebox.commands().count("AddCredit|1")
        self.wait_until(lambda: self.el("cmdCreditPlus").is_enabled(), CONFIRM_S, "plus off")
        self.el("cmdCreditPlus").click()
        self.wait_until(lambda: self.jukebox.commands().count("AddCredit|1") == before + 1, ANSWER_S, "no credit")
        self.assertNotIn("CtrlBeenden", self.jukebox.commands())
        self.el("cmdEnd").click()
        self.el("confirmYes").click()
        self.wait_until(lambda: "CtrlBeenden" in self.jukebox.commands(), ANSWER_S, "quit not sent")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
