#!/usr/bin/python3
"""The viewer's page in headless Chromium against the same program run headless.

Debian's python3-selenium drives Chromium as a person would, only with calls selenium 4.8
(Debian 12's 4.8.3) has and 4.24 (Debian 13's 4.24.4) has not deprecated. One test a run:
page_test.py TEST WEB_DIR SERVE_SCRIPT VERDICT_TOOL (viewer-page-verdict, which judges).
"""
import base64
import functools
import re
import signal
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder

TITLE = "Our Direct3D Program"
# The control keys as WebDriver spells them, and the virtual-key codes the headless
# viewer is given for them.
KEYS = {"PageUp": ("\ue00e", 0x21), "PageDown": ("\ue00f", 0x22), "Left": ("\ue012", 0x25),
        "Up": ("\ue013", 0x26), "Right": ("\ue014", 0x27), "Down": ("\ue015", 0x28),
        **{f"F{n}": (chr(0xe030 + n), 0x6f + n) for n in range(1, 8)}}
NUMPAD8, VK_UP = "\ue022", 0x26
# The canvas's RGBA bytes as base64 in one string, with the frame count that belongs to
# them: the page's loop cannot run during a script.
READ_CANVAS = """
const c = document.getElementById("canvas");
const data = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
let bytes = "";
for (let at = 0; at < data.length; at += 8192)
  bytes += String.fromCharCode(...data.subarray(at, at + 8192));
return [Module.viewerPage.frames, c.width, c.height, btoa(bytes)];
"""


class Page:
    """The test's Chromium session on the page, and what failed."""

    def __init__(self, driver, verdict_tool):
        self.driver, self.verdict_tool = driver, verdict_tool
        self.failures, self.sides = [], None

    def open(self, url):
        self.driver.get(url)
        if self.expect(self.wait_for_frames(1), "the page showed no frame"):
            # The sides of the frame the page drew around the canvas, as a window manager's.
            o, i = self.box("frame"), self.box("canvas")  # left, top, right, bottom
            self.sides = [round(a - b) for a, b in zip(i[:2] + o[2:], o[:2] + i[2:])]
        return self.sides

    def expect(self, ok, message):
        if not ok:
            self.failures.append(message)
        return ok

    def script(self, body):
        return self.driver.execute_script(body)

    def box(self, element):
        """The element's left, top, right and bottom, in CSS pixels of the viewport."""
        return self.script(f"const r = document.getElementById('{element}')"
                           ".getBoundingClientRect(); return [r.left, r.top, r.right, r.bottom];")

    def frames(self):
        return self.script("return Module.viewerPage.frames;")

    def wait_for(self, condition):
        """True once the expression `condition` holds in the page, within 20 s."""
        end = time.monotonic() + 20
        while not self.script(f"return Boolean({condition});"):
            if time.monotonic() > end:
                return False
            time.sleep(0.02)
        return True

    def wait_for_frames(self, count):
        return self.wait_for(f"window.Module && Module.viewerPage && "
                             f"Module.viewerPage.frames >= {count}")

    def press(self, key):
        """One key as WebDriver spells it; true once the page has drawn 3 frames more."""
        ActionChains(self.driver).key_down(key).key_up(key).perform()
        return self.wait_for_frames(self.frames() + 3)

    def drag(self, x, y, dx, dy):
        """Drags with the left button by (dx, dy) from (x, y), CSS pixels of the viewport,
        in two moves as a person would; (0, 0) clicks."""
        actions = ActionBuilder(self.driver, duration=50)
        actions.pointer_action.move_to_location(x, y).pointer_down()
        actions.pointer_action.move_to_location(x + dx // 2, y + dy // 2)
        actions.pointer_action.move_to_location(x + dx, y + dy).pointer_up()
        actions.perform()

    def read(self):
        """The frame count, width, height and RGBA bytes of the canvas."""
        frames, width, height, rgba = self.script(READ_CANVAS)
        return frames, width, height, base64.b64decode(rgba)

    def judge(self, canvases, keys=(), width=0, height=0):
        """Expects each canvas read to be a headless frame bit for bit, the viewer's with
        `keys` pressed first, in the page's frame, its client width x height unless 0 x 0;
        returns their angles."""
        view = [",".join(map(str, keys)), width, height, *self.sides]
        lines = subprocess.run([self.verdict_tool, *map(str, view)], check=True,
                               input=b"".join(f"{w} {h}\n".encode() + rgba
                                              for _, w, h, rgba in canvases),
                               capture_output=True).stdout.decode().splitlines()
        self.expect(len(lines) == len(canvases), f"{len(lines)} of {len(canvases)} canvases judged")
        verdicts = [(int(angle), rest) for angle, rest in (line.split(" ", 1) for line in lines)]
        for angle, difference in verdicts:
            self.expect(difference == "", f"at angle {angle}: {difference}")
        return [angle for angle, _ in verdicts]


def shows_the_headless_frames_exactly_with_the_windows_title_and_focus(page):
    page.expect(page.script("return document.title;") == TITLE, "the document's title")
    page.expect(page.script("return document.getElementById('title').textContent;") == TITLE,
                "the title bar's text")
    page.expect(page.script("return document.activeElement && document.activeElement.id;")
                == "canvas", "the canvas has not the focus")
    canvases = []
    for _ in range(3):
        canvases.append(page.read())
        time.sleep(0.25)
    a, b, c = page.judge(canvases)
    page.expect(a != b or b != c, "the scene does not turn")


def turns_one_degree_per_animation_frame(page):
    first = page.read()
    time.sleep(0.4)
    second = page.read()
    a, b = page.judge([first, second])
    if a < 0 or b < 0:
        return
    shown = second[0] - first[0]
    page.expect(shown >= 5, "frames came too slowly to judge")
    # 0 and 180 are one picture: there the turn is known only modulo half a turn.
    period = 180 if a % 180 == 0 or b % 180 == 0 else 360
    page.expect((b - a) % period == shown % period,
                f"the angle went from {a} to {b} over {shown} frames")


def first_frame_within_a_second_of_loading(page):
    ms = page.script("return Module.viewerPage.firstFrameMs;")
    print(f"first_frame_ms {ms}")
    page.expect(0 < ms < 1000, f"the first frame came {ms} ms after the page started loading")


def resizing_the_frame_stretches_the_frame_and_follows_the_aspect(page):
    # The resize handle is the window's bottom-right corner: dragged 300 px left and
    # 100 px down, the box becomes 500 x 700, the client that less the frame.
    _, _, right, bottom = page.box("frame")
    page.drag(round(right) - 3, round(bottom) - 3, -300, 100)
    if not page.expect(page.wait_for_frames(page.frames() + 3), "no frames after the resize"):
        return
    canvas = page.read()
    left, top, right, bottom = page.sides
    size = (500 - left - right, 700 - top - bottom)
    if page.expect(canvas[1:3] == size, f"the canvas is {canvas[1:3]}, not {size}"):
        page.judge([canvas], width=size[0], height=size[1])


def the_windows_outer_box_is_the_frame_and_the_canvas(page):
    # The 800 x 600 the program asks for is the outer box, frame included, as on the
    # desktop; the canvas is the client inside it, and the projection keeps the back
    # buffer's 4/3 although the client is not 4/3 (the start-up frames match only so).
    left, top, right, bottom = page.box("frame")
    box = (right - left, bottom - top)
    page.expect(box == (800, 600), f"the window's box is {box[0]} x {box[1]}")
    left, top, right, bottom = page.sides
    page.expect(top > bottom, "no title bar above the canvas")
    canvas = page.read()
    page.expect(canvas[1:3] == (800 - left - right, 600 - top - bottom),
                f"the canvas is {canvas[1:3]} in the frame {page.sides}")
    page.judge([canvas])


def the_close_button_ends_the_program_with_status_zero(page):
    # WM_CLOSE: WinMain releases the device and returns 0, and the page says so under the
    # program's one name, also the compiled code's argv[0] (the start of its stderr lines).
    left, top, right, bottom = page.box("close")
    page.drag(round((left + right) / 2), round((top + bottom) / 2), 0, 0)
    page.expect(page.wait_for("document.getElementById('status').textContent !== ''"),
                "the page shows no status")
    status = page.script("return document.getElementById('status').textContent;")
    program = page.script("return Module.thisProgram;")
    page.expect(status == f"{program}: the program ended with status 0", f"the status: {status}")
    page.expect(program == "viewer", f"the program's name: {program}")
    ended = page.frames()
    time.sleep(0.2)
    page.expect(page.frames() == ended, "frames after the program ended")


def gives_the_headless_frame_for_that_key_without_reloading(web_key, vk, page):
    page.script("window.sameDocument = true;")
    if page.expect(page.press(web_key), "no frames after the key"):
        canvas = page.read()
        page.expect(page.script("return window.sameDocument === true;"),
                    "the page was reloaded or left")
        page.judge([canvas], keys=[vk])


def keypad_eight_with_num_lock_off_moves_the_camera_up(page):
    # With Num Lock off (the browser's state here) keypad 8 is the up arrow, as on the
    # desktop: the camera moves.
    gives_the_headless_frame_for_that_key_without_reloading(NUMPAD8, VK_UP, page)


def start_browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # Root needs --no-sandbox; the profile is this run's, so two runs never meet.
    for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                "--window-size=1200,900", "--no-first-run", "--user-data-dir=" + profile):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def main():
    listed, web_dir, serve_script, verdict_tool = sys.argv[1:5]
    name = listed.rsplit("/", 1)[-1].rsplit(".", 1)[-1]  # as ctest lists it, less the suite
    test = (functools.partial(gives_the_headless_frame_for_that_key_without_reloading, *KEYS[name])
            if name in KEYS else globals().get(re.sub("(?<=.)(?=[A-Z])", "_", name).lower()))
    if not name.isalnum() or test is None:  # the test function, in snake case
        sys.exit(f"no such test: {name}")
    # Stopped, the test stops the server, chromedriver and Chromium in the finally clauses.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    server = subprocess.Popen([sys.executable, serve_script, web_dir], stdout=subprocess.PIPE,
                              text=True)
    try:
        base = server.stdout.readline().strip()
        if not base:
            sys.exit(f"the web server ({serve_script}) gave no address")
        with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as scratch:
            try:
                driver = start_browser(scratch + "/chromium-profile")
            except Exception as failure:  # noqa: BLE001 - shown whatever it was
                sys.exit(f"Chromium did not start: {failure}")
            page = Page(driver, verdict_tool)
            try:
                if page.open(base + "index.html"):
                    test(page)
                page.failures += [f"console error: {entry['message']}" for entry in
                                  driver.get_log("browser") if entry["level"] == "SEVERE"]
            except WebDriverException as failure:
                page.expect(False, f"chromedriver, Chromium or the page failed: {failure}")
            finally:
                driver.quit()
    finally:
        server.terminate()
    for failure in page.failures:
        print("FAILED:", failure)
    return 1 if page.failures else 0


if __name__ == "__main__":
    sys.exit(main())
