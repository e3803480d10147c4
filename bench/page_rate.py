#!/usr/bin/python3
"""Frame rates of the web page beside the desktop program, interleaved.

  page_rate.py PROGRAM ROUNDS SECONDS PAGE...

Runs under an X display (Xvfb). For each round, each scene (the bundled
flimmer.ini and a 1920 x 1080 field of 20,000 particles with trails of
50) runs in turn in the desktop PROGRAM, in Chromium and in WebKitGTK on
every PAGE, and the caption is read for SECONDS after two seconds of
warming up. Prints, per run, the median caption and, for the page, its
frame time and the milliseconds a frame spent on average in each of SDL's
JavaScript functions (the fill, the lock, and the unlock that copies the
frame into the canvas); the rest of the frame is WebAssembly. The pages
are driven through their controls (text area, command line, Start), so
a page from before the links and the start on opening can be compared.

Needs chromium, chromium-driver, webkit2gtk-driver, python3-selenium,
xdotool and x11-utils.
"""

import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
with open(os.path.join(SOURCE, "flimmer.ini"), encoding="latin-1") as f:
    BUNDLED = f.read()
LARGE = ("[FLIM]\nbreite=1920\nhoehe=1080\nschweiflaenge=50\nrichtungen=3\nfarbtiefe=32\n"
         "fullscreen=0\nzuf_richtungswechsel=1\nconst_geschw=0\n"
         + "".join(f"[g{i}]\nx={x}\ny={y}\nanz=5000\nfarbe={i + 1}\n"
                   for i, (x, y) in enumerate([(480, 270), (1440, 270), (480, 810), (1440, 810)])))
SCENES = [("flimmer.ini", BUNDLED), ("1920x1080 20000x50", LARGE)]

# Times SDL's own JavaScript as the program calls it: the imports are
# wrapped by their function names as the module is instantiated.
TIMING = """
window.sdlTime = {}; window.sdlFrames = 0;
const instantiate = WebAssembly.instantiate;
WebAssembly.instantiate = function(source, imports) {
  for (const space of Object.values(imports || {}))
    for (const key of Object.keys(space)) {
      const f = space[key];
      if (typeof f !== 'function') continue;
      if (!/^_SDL_(LockSurface|UnlockSurface|FillRect)$/.test(f.name)) continue;
      const name = f.name.slice(5);
      sdlTime[name] = 0;
      space[key] = function() {
        const t = performance.now();
        try { return f.apply(this, arguments); }
        finally { sdlTime[name] += performance.now() - t; if (name === 'UnlockSurface') sdlFrames++; }
      };
    }
  return instantiate.apply(this, arguments);
};
"""


def rates(read, seconds):
    time.sleep(2)
    seen = []
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        match = re.fullmatch(r"(\d+) FPS", read() or "")
        if match:
            seen.append(int(match.group(1)))
        time.sleep(0.1)
    return statistics.median(seen) if seen else 0


def native(program, text, seconds):
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "flimmer.ini"), "w", encoding="latin-1") as f:
            f.write(text)
        process = subprocess.Popen([program], cwd=folder, env=dict(os.environ, SDL_VIDEODRIVER="x11"))
        try:
            def read():
                found = subprocess.run(["xdotool", "search", "--pid", str(process.pid), "--name", "FPS"],
                                       capture_output=True, text=True).stdout.split()
                if not found:
                    return None
                out = subprocess.run(["xprop", "-id", found[0], "WM_NAME"], capture_output=True,
                                     text=True).stdout
                match = re.search(r'"(.*)"', out)
                return match.group(1) if match else None
            return rates(read, seconds), None
        finally:
            process.kill()
            process.wait()


def browser(engine):
    if engine == "chromium":
        options = webdriver.ChromeOptions()
        for flag in ("--headless=new --no-sandbox --disable-dev-shm-usage --disable-gpu "
                     "--window-size=1400,1000").split():
            options.add_argument(flag)
        options.binary_location = "/usr/bin/chromium"
        return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    options = webdriver.WebKitGTKOptions()
    options.add_argument("--automation")
    return webdriver.WebKitGTK(options=options)


def page(driver, path, text, seconds):
    driver.get("file://" + os.path.abspath(path))
    driver.execute_script(TIMING)
    driver.execute_script("document.getElementById('config').value = arguments[0];"
                          "document.getElementById('argument').value = 'flimmer.ini';"
                          "document.getElementById('start').click();", text)
    time.sleep(1)
    before = driver.execute_script("return [sdlTime, sdlFrames]")
    rate = rates(lambda: driver.title, seconds)
    after = driver.execute_script("return [sdlTime, sdlFrames]")
    frames = after[1] - before[1]
    if not frames:
        return rate, None
    return rate, {name: (after[0][name] - before[0][name]) / frames for name in after[0]}


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    program, rounds, seconds, pages = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), sys.argv[4:]
    print(subprocess.run(["lscpu"], capture_output=True, text=True).stdout.split("Model name:")[1]
          .splitlines()[0].strip())
    drivers = {engine: browser(engine) for engine in ("chromium", "webkit")}
    try:
        for round_ in range(rounds):
            for name, text in SCENES:
                rate, _ = native(program, text, seconds)
                print(f"round {round_ + 1}  {name:20} native            {rate:7.0f} FPS", flush=True)
                for path in pages:
                    for engine, driver in drivers.items():
                        rate, sdl = page(driver, path, text, seconds)
                        split = ""
                        if sdl and rate:
                            split = f"  frame {1000 / rate:6.2f} ms; SDL " + ", ".join(
                                f"{name} {ms:.2f}" for name, ms in sorted(sdl.items()))
                        print(f"round {round_ + 1}  {name:20} {engine:8} {os.path.basename(path):12}"
                              f"{rate:7.0f} FPS{split}", flush=True)
                    driver.get("about:blank")
    finally:
        for driver in drivers.values():
            driver.quit()


if __name__ == "__main__":
    main()
