#!/usr/bin/python3
"""Checks the web page in Chromium and WebKitGTK, as a visitor uses it.

  test_page.py PAGE PROGRAM [SCREENSHOT]

PAGE is build-web/flimmerwerk.html, opened from disk; PROGRAM is the
desktop build, which the page must match message for message on every
file it refuses. SCREENSHOT, when given, is where a picture of the page
running flimmer.ini in Chromium goes.

Needs Debian's chromium, chromium-driver, webkit2gtk-driver and
python3-selenium (run it with /usr/bin/python3, which sees Debian's
Python packages), and an X display for WebKitGTK (Xvfb -noreset).
FLIMMER_ENGINES, when set, names the engines to use (chromium, webkit).
"""

import base64
import functools
import http.server
import os
import re
import resource
import subprocess
import sys
import tempfile
import threading
import time
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Beyond this the page's program has no memory (as the build sets it); the
# desktop program gets as much address space for the file that needs more.
with open(os.path.join(SOURCE, "web", "page.cmake")) as _build:
    MODULE_MEMORY = int(re.search(r"-sMAXIMUM_MEMORY=(\d+)MB", _build.read()).group(1)) << 20

failures = []
engine = [""]


def check(condition, what):
    what = f"{engine[0]}: {what}" if engine[0] else what
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)
    return condition


def read(path):
    with open(os.path.join(SOURCE, path), encoding="latin-1") as f:
        return f.read()


def ini_sections(text):
    """The file's sections as (name, {key: int}); enough for the files here."""
    sections = []
    for line in text.splitlines():
        if line.startswith("["):
            sections.append((line.strip("[]"), {}))
        elif "=" in line and sections:
            key, value = line.split("=", 1)
            sections[-1][1].setdefault(key, int(value))
    return sections


def fact(*what):
    """A fact of the program, read back from its source (tests/program_facts)."""
    return subprocess.run([os.path.join(SOURCE, "tests", "program_facts"), *what],
                          check=True, capture_output=True, text=True).stdout


def expected_picture(text):
    """Size, the shades each drawn ramp may show, and the most coloured pixels."""
    sections = ini_sections(text)
    settings = sections[0][1]
    trail = settings["schweiflaenge"]
    full = [[tuple(int(c) for c in rgb.split(",")) for rgb in line.split()]
            for line in fact("shades", str(trail)).splitlines()]
    ramps = {}
    most = 0
    for _, group in sections[1:]:
        colour, count = group.get("farbe", 0), group.get("anz", 0)
        if count <= 0 or not 0 <= colour < len(full):
            continue
        most += count * trail
        ramps[colour] = full[colour]
    return (settings["breite"], settings["hoehe"]), ramps, most


def chromium():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new --no-sandbox --disable-dev-shm-usage --disable-gpu "
                 "--no-first-run --disable-background-networking "
                 "--disable-component-update --disable-sync --disable-quic "
                 "--window-size=1400,1000").split():
        options.add_argument(flag)
    profile = tempfile.TemporaryDirectory()
    options.add_argument("--user-data-dir=" + profile.name)
    options.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.profile = profile  # removed with the driver
    return driver


def webkit():
    # WebKitWebDriver starts the MiniBrowser in automation mode on $DISPLAY.
    options = webdriver.WebKitGTKOptions()
    options.add_argument("--automation")
    return webdriver.WebKitGTK(options=options)


ENGINES = {"chromium": chromium, "webkit": webkit}


def link(version, payload):
    """A fragment as the page writes it, from the bytes it packs."""
    return "#" + version + base64.urlsafe_b64encode(zlib.compress(payload)).decode().rstrip("=")


class Page:
    def __init__(self, engine, path):
        self.engine = engine
        self.driver = ENGINES[engine]()
        self.address = "file://" + os.path.abspath(path)
        self.open(self.address)

    def open(self, url):
        self.driver.get(url)
        # Every title the page gets, in order, since Start was last pressed
        # or, as the page starts a program as it opens, since it opened.
        self.driver.execute_script("""
            window.titles = [document.title];
            document.addEventListener('click', function(event) {
              if (event.target.id === 'start') titles.length = 0;
            }, true);
            new MutationObserver(function() { titles.push(document.title); })
                .observe(document.querySelector('title'), {childList: true, subtree: true,
                                                           characterData: true});""")

    def open_afresh(self, url):
        """As a fresh tab opens it: a whole new document, also where only
        the fragment differs from the one shown."""
        self.driver.get("about:blank")
        self.open(url)

    def choose(self, value):
        if self.engine == "webkit":
            # WebKitGTK's driver opens the menu's GTK popup, which then takes
            # the next click: only Chromium picks from the menu itself.
            self.driver.execute_script("""
                arguments[0].value = arguments[1];
                arguments[0].dispatchEvent(new Event('change'));""", self.element("example"), value)
        else:
            Select(self.element("example")).select_by_value(value)

    def element(self, name):
        return self.driver.find_element(By.ID, name)

    def write(self, text, argument="flimmer.ini", typed=False):
        config = self.element("config")
        if typed:
            config.clear()
            # WebKitGTK's driver types a line feed as nothing, Enter as one.
            config.send_keys(text.replace("\n", Keys.ENTER))
        else:
            self.driver.execute_script("arguments[0].value = arguments[1]", config, text)
        field = self.element("argument")
        field.clear()
        field.send_keys(argument)

    def press(self, name):
        """Clicks a button. WebKitGTK's driver, once a program has run,
        delivers the button's mousedown and mouseup but no click: there the
        click is the element's own."""
        if self.engine == "webkit":
            self.driver.execute_script("arguments[0].click()", self.element(name))
        else:
            self.element(name).click()

    def start(self):
        self.press("start")

    def wait(self, condition, seconds=20):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if condition():
                return True
            time.sleep(0.05)
        return False

    def status(self):
        return self.element("status").text

    def wait_for_end(self):
        self.wait(lambda: "ended" in self.status() or "stopped" in self.status())
        match = re.fullmatch(r"The program ended with status (\d+)\.", self.status())
        return int(match.group(1)) if match else self.status()

    def messages(self):
        # The text as shown, back to the bytes it was decoded from.
        text = self.driver.execute_script("return document.getElementById('messages').textContent")
        return text.encode("latin-1")

    def titles(self):
        return self.driver.execute_script("return titles")

    def wait_for_rate(self):
        """Whether the title has shown a frame rate since the last start."""
        rate = fact("caption").strip()
        return self.wait(lambda: any(re.fullmatch(rate, t) for t in self.titles()))

    def shown(self):
        """The configuration, command line and note the page shows."""
        return (self.element("config").get_attribute("value"),
                self.element("argument").get_attribute("value"),
                self.element("note").text if self.element("note").is_displayed() else None)

    def copy_link(self):
        self.press("copy")
        self.wait(lambda: self.element("link").is_displayed())
        return self.element("link").get_attribute("value")

    def escape(self):
        ActionChains(self.driver).click(self.element("screen")).send_keys(Keys.ESCAPE).perform()

    def pixels(self):
        """The canvas's size and a count of its colours."""
        size, data = self.driver.execute_script("""
            const canvas = document.getElementById('screen');
            const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            let text = '';
            for (let i = 0; i < data.length; i += 4)
              text += String.fromCharCode(data[i], data[i + 1], data[i + 2], data[i + 3]);
            return [[canvas.width, canvas.height], btoa(text)];""")
        raw = base64.b64decode(data)
        counts = {}
        for i in range(0, len(raw), 4):
            colour = raw[i:i + 4]
            counts[colour] = counts.get(colour, 0) + 1
        return tuple(size), {(c[0], c[1], c[2], c[3]): n for c, n in counts.items()}


def check_picture(page, name, text):
    size, ramps, most = expected_picture(text)
    shown, counts = page.pixels()
    check(shown == size, f"{name}: the canvas is {shown[0]} x {shown[1]}, as configured")
    shade = {}
    for colour, ramp in ramps.items():
        for level, rgb in enumerate(ramp):
            shade.setdefault(rgb + (255,), (colour, level))
    white = counts.get((255, 255, 255, 255), 0)
    coloured = sum(counts.values()) - white
    foreign = [c for c in counts if c != (255, 255, 255, 255) and c not in shade]
    check(not foreign, f"{name}: no colour but white and the configured ramps' shades"
          + (f" (also {foreign[:5]})" if foreign else ""))
    check(0 < coloured <= most, f"{name}: {coloured} coloured pixels, at most {most}")
    check(white > coloured, f"{name}: mostly white ({white} white pixels)")
    heads = {shade[c][0] for c in counts if c in shade and shade[c][1] == 0}
    check(heads == set(ramps), f"{name}: a pure head of every configured colour")


def desktop_run(program, text, argument, memory=None):
    """Status and standard error of the desktop program on the same file,
    with at most memory bytes of address space when that is given."""
    def limit():
        if memory:
            resource.setrlimit(resource.RLIMIT_AS, (memory, memory))

    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "flimmer.ini"), "wb") as f:
            f.write(text.encode("latin-1", "replace"))
        result = subprocess.run([program, argument], cwd=folder, capture_output=True, timeout=60,
                                env=dict(os.environ, SDL_VIDEODRIVER="dummy"), preexec_fn=limit)
        return result.returncode, result.stderr


def visit(browser, page_path, program, screenshot):
    engine[0] = browser
    bundled = read("flimmer.ini")
    page = Page(browser, page_path)
    try:
        d = page.driver
        # The bundled file runs as the page opens.
        check(page.wait_for_rate(),
              f"the title becomes N FPS without pressing anything ({page.titles()[-3:]})")
        check(page.shown() == (bundled, "flimmer.ini", None),
              "the page shows the bundled flimmer.ini and its command line, no note")
        time.sleep(0.5)
        check_picture(page, "flimmer.ini", bundled)
        if screenshot:
            d.save_screenshot(screenshot)
        page.escape()
        check(page.wait_for_end() == 0, "Escape on the canvas ends the program with status 0")
        check(page.messages() == b"", "and it writes no message")

        # An example from the menu, restarted while it runs.
        page.choose("examples/bounce.ini")
        example = read("examples/bounce.ini")
        check(page.element("config").get_attribute("value") == example,
              "the menu loads examples/bounce.ini")
        page.start()
        check(page.wait_for_rate(), "the example runs")
        time.sleep(0.5)
        check_picture(page, "bounce.ini", example)
        corner = d.execute_script("""
            document.getElementById('start').click();
            const canvas = document.getElementById('screen');
            return Array.from(canvas.getContext('2d').getImageData(0, 0, 1, 1).data);""")
        check(corner == [255, 255, 255, 255], f"the new canvas is white before its first frame ({corner})")
        check(page.wait_for_rate() and page.titles()[0] == "Flimmerwerk",
              f"Start while it runs starts it again ({page.titles()[:3]})")
        time.sleep(0.5)
        check(page.status().startswith("Running"), "and the program stopped on restart reports nothing")
        check_picture(page, "bounce.ini again", example)
        page.escape()
        check(page.wait_for_end() == 0, "the restarted program ends with status 0 on Escape")
        ActionChains(d).click(page.element("screen")).send_keys(Keys.TAB).perform()
        check(d.switch_to.active_element.get_attribute("id") != "screen",
              "then Tab on its canvas moves the focus on")
        ended = len(page.titles())
        time.sleep(0.5)
        check(len(page.titles()) == ended, "and no program changes the title any more")

        # Files the program refuses: the same bytes and status as on the
        # desktop, and Start works again after each.
        settings = bundled.split("[gruppe1]")[0]
        refused = [
            ("a missing file", bundled, "fehlt.ini", False, None),
            ("breite=0", bundled.replace("breite=640", "breite=0"), "flimmer.ini", False, None),
            ("an empty file", "", "flimmer.ini", False, None),
            ("typed: a key twice, with an umlaut",
             "[FLIM]\nh\xf6he=1\nh\xf6he=2\nbreite=0\n", "flimmer.ini", True, None),
            ("trails beyond the memory",
             settings.replace("schweiflaenge=20", "schweiflaenge=32767")
             + "[viele]\nx=1\ny=1\nanz=20000\nfarbe=1\n", "flimmer.ini", False,
             MODULE_MEMORY),
        ]
        for name, text, argument, typed, memory in refused:
            page.write(text, argument, typed)
            page.start()
            status = page.wait_for_end()
            want_status, want_bytes = desktop_run(program, text, argument, memory)
            check(want_status != 0 and status == want_status,
                  f"{name}: status {status}, the desktop's {want_status}")
            got = page.messages()
            check(got == want_bytes, f"{name}: the desktop's message bytes {want_bytes!r}"
                  + ("" if got == want_bytes else f", not {got!r}"))
            if name == "breite=0":
                shown = page.element("messages").text
                check(shown == "Ung\u00fcltiger Wert f\u00fcr breite: 0",
                      f"the page shows the message as it reads ({shown!r})")

        # A field too big for the page's memory (the desktop's SDL fails
        # earlier, in its own words), then the bundled file again.
        page.write(settings.replace("breite=640", "breite=32767").replace(
            "hoehe=480", "hoehe=32767"))
        page.start()
        check(page.wait_for_end() == 2, "a 32767 x 32767 field ends with status 2")
        check(page.messages() == b"Konnte speicher f\xfcr das Feld nicht reservieren!",
              f"and says that the field has no room ({page.messages()!r})")
        page.write(bundled)
        page.start()
        check(page.wait_for_rate(), "after all that, Start runs the bundled file again")
        page.escape()
        check(page.wait_for_end() == 0, "and Escape ends it with status 0")

        # Links: what Copy link gives opens afresh on the same text and
        # command line, runs it, and shows a broken file's messages.
        shared = [
            # name, text, command line, the file the program then draws
            ("bounce.ini", example, "flimmer.ini", example),
            ("a broken file", bundled.replace("breite=640", "breite=0"), "flimmer.ini", None),
            ("another file named", bundled, "examples/bounce.ini  more", example),
        ]
        for name, text, argument, drawn in shared:
            page.write(text, argument)
            address = page.copy_link()
            check(address.startswith(page.address + "#1."), f"Copy link on {name} shows a link")
            page.open_afresh(address)
            check(page.shown() == (text, argument, None),
                  f"the link to {name} opens its text and command line")
            if drawn:
                check(page.wait_for_rate(), "and runs it")
                time.sleep(0.5)
                check_picture(page, f"the link to {name}", drawn)
            else:
                status = page.wait_for_end()
                want_status, want_bytes = desktop_run(program, text, argument)
                check((status, page.messages()) == (want_status, want_bytes),
                      f"and gives the desktop's status {want_status} and message {want_bytes!r}")
        page.write(bundled)
        page.copy_link()
        d.back()
        check(page.wait(lambda: page.shown() == (shared[-1][1], shared[-1][2], None))
              and page.status().startswith("Running"),
              "Back after another Copy link returns to the creation before, running")

        # Fragments that are no link of the page's: the bundled file runs,
        # with a note.
        good = link("1.", b"flimmer.ini\n" + example.encode("latin-1"))
        for name, fragment in [
                ("a truncated link", good[:-8]),
                ("a link edited by hand", good[:30] + ("A" if good[30] != "A" else "B") + good[31:]),
                ("a fragment not in base64", "#1.Zm9v*YmFy"),
                ("a link of an unknown version", "#7." + good[3:]),
                ("a link that unpacks to more than 64 KiB",
                 link("1.", b"flimmer.ini\n" + b"#" * (64 << 10))),
        ]:
            page.open_afresh(page.address + fragment)
            shown = page.shown()
            check(shown[:2] == (bundled, "flimmer.ini") and shown[2] and page.wait_for_rate(),
                  f"{name} runs the bundled file, with the note {shown[2]!r}")

        # The same page from a web server.
        class Quiet(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *arguments):
                pass

        handler = functools.partial(Quiet, directory=os.path.dirname(os.path.abspath(page_path)))
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        page.open(f"http://127.0.0.1:{server.server_address[1]}/{os.path.basename(page_path)}")
        check(page.wait_for_rate(), "served over HTTP, the title becomes N FPS without pressing anything")
        page.element("argument").clear()
        page.start()
        check(page.wait_for_rate(), "served over HTTP, without an argument, it runs flimmer.ini")
        page.escape()
        check(page.wait_for_end() == 0, "and Escape ends it with status 0")
        server.shutdown()

        if browser == "chromium":
            errors = [entry["message"] for entry in d.get_log("browser")
                      if entry["level"] == "SEVERE"]
            check(not errors, "no error in the browser's console" + (f": {errors}" if errors else ""))
        else:
            print("(the console is checked in Chromium only: WebKit's driver gives no log)")
    finally:
        page.driver.quit()


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    page_path, program = sys.argv[1], os.path.abspath(sys.argv[2])
    size = os.path.getsize(page_path)
    check(size < 400 * 1024, f"the page is {size} bytes, under 400 KB")
    for name in os.environ.get("FLIMMER_ENGINES", "chromium webkit").split():
        visit(name, page_path, program, sys.argv[3] if len(sys.argv) == 4 and name == "chromium" else None)
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("all checks passed")


if __name__ == "__main__":
    main()
