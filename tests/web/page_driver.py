#!/usr/bin/python3
"""The page tests' hands on Chromium: Debian's python3-selenium and chromedriver.

Serves the web build (tools/serve_web.py), opens a headless Chromium session on the page,
answers "ok" with the server's address, then does what the test asks until it closes its
end. The test and this script talk through two pipes the test hands over, each message a
verb and a length on one line, then that many bytes: the script's commands in, "ok" or
"error" answers out. Only selenium calls that selenium 4.8 already has and 4.24 has not
deprecated are used (Debian 12 ships 4.8.3, Debian 13 4.24.4).

Usage: page_driver.py WEB_DIR SERVE_SCRIPT PROFILE_DIR COMMANDS_FD ANSWERS_FD
"""
import base64
import subprocess
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder

# The canvas as RGB bytes, base64 in one string: the answer stays small, and the frame
# count belongs to the same pixels, as the page's loop cannot run during a script.
READ_CANVAS = """
const canvas = document.getElementById("canvas");
const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
const parts = [];
for (let at = 0; at < data.length; at += 3 * 4096) {
  let chunk = "";
  const end = Math.min(data.length, at + 3 * 4096);
  for (let i = at; i < end; i += 4) chunk += String.fromCharCode(data[i], data[i + 1], data[i + 2]);
  parts.push(chunk);
}
return [Module.viewerPage.frames, canvas.width, canvas.height, btoa(parts.join(""))];
"""


def start_browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    # Root needs --no-sandbox; the profile is this run's, so two runs never meet.
    for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                "--window-size=1200,900", "--no-first-run", "--user-data-dir=" + profile):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def answer_to(driver, base, verb, text):
    if verb == "open":
        driver.get(base + text)
        return b""
    if verb == "script":
        return str(driver.execute_script(text)).encode()
    if verb == "key":  # one key, as WebDriver spells it ("\ue035" for F5)
        ActionChains(driver).key_down(text).key_up(text).perform()
        return b""
    if verb == "drag":  # the left button pressed at (x, y), let go (dx, dy) further
        x, y, dx, dy = (int(n) for n in text.split())
        actions = ActionBuilder(driver, duration=50)
        actions.pointer_action.move_to_location(x, y).pointer_down()
        actions.pointer_action.move_to_location(x + dx // 2, y + dy // 2)  # in two moves
        actions.pointer_action.move_to_location(x + dx, y + dy).pointer_up()
        actions.perform()
        return b""
    if verb == "errors":  # the console's errors since the last call, one a line
        return "\n".join(entry["message"] for entry in driver.get_log("browser")
                         if entry["level"] == "SEVERE").encode()
    if verb == "canvas":  # the frame count, width and height on a line, then RGB bytes
        frames, width, height, rgb = driver.execute_script(READ_CANVAS)
        return f"{frames} {width} {height}\n".encode() + base64.b64decode(rgb)
    raise ValueError("no such command: " + verb)


def send(out, verb, payload):
    out.write(f"{verb} {len(payload)}\n".encode() + payload)
    out.flush()


def main():
    web_dir, serve_script, profile, commands_fd, answers_fd = sys.argv[1:6]
    server = subprocess.Popen([sys.executable, serve_script, web_dir], stdout=subprocess.PIPE,
                              text=True)
    base = server.stdout.readline().strip()
    with open(int(answers_fd), "wb") as out:
        try:
            driver = start_browser(profile)
        except Exception as failure:  # noqa: BLE001 - the test shows whatever it was
            send(out, "error", f"Chromium did not start: {failure}".encode())
            return 1
        try:
            send(out, "ok", base.encode())
            with open(int(commands_fd), "rb") as commands:
                for line in iter(commands.readline, b""):
                    verb, length = line.decode().split()
                    text = commands.read(int(length)).decode()
                    try:
                        send(out, "ok", answer_to(driver, base, verb, text))
                    except Exception as failure:  # noqa: BLE001 - one command failed
                        send(out, "error", f"{verb}: {failure}".encode())
        finally:
            driver.quit()
            server.terminate()
    return 0


if __name__ == "__main__":
    sys.exit(main())
