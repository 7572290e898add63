#!/usr/bin/python3
"""The review desk in a real browser: headless Chromium driven by Selenium loads the page of a
running `karvona serve`, confirms one reading with Enter, corrects another, finds an impossible
code refused, searches by code, and the history holds exactly what was settled.

    desk_browser_test.py KARVONA DATA_FOLDER PHOTO_FOLDER [--screenshots DIR]

Exit 77 (skipped) without selenium, chromium or chromedriver.
"""
import json
import os
import shutil
import socket
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service as ChromeService
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("python3-selenium is not installed: skipped")
    sys.exit(77)

karvona, data, photos = sys.argv[1:4]
shots = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
chromium = shutil.which("chromium")
driver_path = shutil.which("chromedriver")
if not chromium or not driver_path:
    print("chromium or chromedriver is not installed: skipped")
    sys.exit(77)


def flat_bmp(grey, width=320, height=240):
    """A photograph with no code in it: a flat 24-bit BMP."""
    row = bytes([grey, grey, grey]) * width
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def listed(browser):
    """The ids of the readings listed now (read in one step: the list is redrawn as it likes)."""
    return [int(i) for i in browser.execute_script(
        "return [...document.querySelectorAll('#list li')].map((li) => li.dataset.id)")]


def viewport(browser, width, height):
    """The page's own size, whatever the window around it takes."""
    browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                            {"width": width, "height": height, "deviceScaleFactor": 1,
                             "mobile": False})
    time.sleep(0.3)


def post(port, path, body, kind):
    request = urllib.request.Request(f"http://127.0.0.1:{port}{path}", data=body,
                                     headers={"Content-Type": kind})
    with urllib.request.urlopen(request, timeout=60) as answer:
        return json.loads(answer.read())


with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
state = tempfile.mkdtemp(prefix="karvona-desk-")
db = os.path.join(state, "history.db")
log = open(os.path.join(state, "serve.log"), "wb")
service = subprocess.Popen([karvona, "serve", "--data", data, "--listen", f"127.0.0.1:{port}",
                            "--db", db], stdout=log, stderr=log)
browser = None
failures = []
try:
    for _ in range(300):
        try:
            urllib.request.urlopen(f"http://127.0.0.1:{port}/health", timeout=1).read()
            break
        except OSError:
            time.sleep(0.05)
    # Two photographs of one truck pass, and two without a code, newest last.
    jpegs = sorted(p for p in os.listdir(photos) if p.endswith(".jpg"))[:2]
    for name in jpegs:
        post(port, f"/read?file={name}&pass=153655001",
             open(os.path.join(photos, name), "rb").read(), "image/jpeg")
    post(port, "/read?file=gate-a.bmp&pass=153655002", flat_bmp(90), "image/bmp")
    post(port, "/read?file=gate-b.bmp&pass=153655002", flat_bmp(140), "image/bmp")

    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--window-size=1366,768", "--lang=en-GB", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update"]:
        options.add_argument(flag)
    browser = webdriver.Chrome(service=ChromeService(executable_path=driver_path),
                               options=options)
    browser.set_page_load_timeout(30)
    wait = WebDriverWait(browser, 15)
    browser.get(f"http://127.0.0.1:{port}/")
    wait.until(lambda b: len(listed(b)) >= 2)
    first_id = listed(browser)[0]
    code = browser.find_element(By.ID, "code-input")
    wait.until(lambda b: b.find_element(By.ID, "photo").get_attribute("src"))

    # An impossible code cannot be saved: the button is off and Enter does nothing.
    code.clear()
    code.send_keys("tghu7654321")
    if code.get_attribute("value") != "TGHU7654321":
        failures.append(f"the input holds {code.get_attribute('value')!r}, not capitals")
    if browser.find_element(By.ID, "settle").is_enabled():
        failures.append("the save button is on for a wrong check digit")
    code.send_keys(Keys.ENTER)
    time.sleep(0.5)

    # Confirm: a possible code and Enter.
    code.clear()
    code.send_keys("TGHU7654320" + Keys.ENTER)
    wait.until(lambda b: "TGHU7654320" in b.find_element(By.ID, "status").text)
    wait.until(lambda b: listed(b) and listed(b)[0] != first_id)

    # Correct the next one with the button.
    second_id = listed(browser)[0]
    code = browser.find_element(By.ID, "code-input")
    code.clear()
    code.send_keys("CAIU8979622")
    browser.find_element(By.ID, "settle").click()
    wait.until(lambda b: "CAIU8979622" in b.find_element(By.ID, "status").text)

    # Search by a part of the code.
    browser.find_element(By.CSS_SELECTOR, ".tab[data-view=search]").click()
    field = wait.until(lambda b: b.find_element(By.CSS_SELECTOR, "#search-form input[name=code]"))
    field.send_keys("8979622" + Keys.ENTER)
    wait.until(lambda b: listed(b) == [second_id])

    # A photograph with its code region and the characters the reader cut out of it.
    field = browser.find_element(By.CSS_SELECTOR, "#search-form input[name=code]")
    field.clear()
    field.send_keys(Keys.ENTER)
    wait.until(lambda b: len(listed(b)) >= 4)
    browser.find_elements(By.CSS_SELECTOR, "#list li")[-1].click()
    wait.until(lambda b: b.find_element(By.ID, "region-crop").get_attribute("width") not in ("0", None))
    wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#character-crops canvas")) >= 7)

    # Then the truck-pass view in Korean on a 10-inch tablet.
    if shots:
        time.sleep(0.3)
        viewport(browser, 1366, 768)
        browser.save_screenshot(os.path.join(shots, "desk-1366x768.png"))
        viewport(browser, 1280, 800)
        browser.find_element(By.ID, "language").click()
        wait.until(lambda b: b.find_element(By.ID, "show-pass").is_displayed())
        browser.find_element(By.ID, "show-pass").click()
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#pass-view img")) >= 2)
        time.sleep(0.5)
        browser.save_screenshot(os.path.join(shots, "desk-tablet-1280x800.png"))

    settled = dict(sqlite3.connect(db).execute(
        "SELECT id, settled_code FROM readings WHERE settled_code IS NOT NULL").fetchall())
    if settled != {first_id: "TGHU7654320", second_id: "CAIU8979622"}:
        failures.append(f"the history holds the settled readings {settled}")
    check = sqlite3.connect(db).execute("PRAGMA integrity_check").fetchone()[0]
    if check != "ok":
        failures.append(f"integrity check: {check}")
except Exception as error:  # a step that timed out or found nothing
    failures.append(f"{type(error).__name__}: {error}")
    if browser is not None:
        failures.append("page text: " + browser.find_element(By.TAG_NAME, "body").text[:500])
finally:
    if browser is not None:
        browser.quit()
    service.terminate()
    service.wait(timeout=30)
    log.close()
    if failures:
        print(open(os.path.join(state, "serve.log"), encoding="utf-8", errors="replace").read()[-2000:])
    shutil.rmtree(state, ignore_errors=True)

for failure in failures:
    print(failure)
print("desk in the browser:", "failed" if failures else "ok")
sys.exit(1 if failures else 0)
