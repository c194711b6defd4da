// Driving the viewer's page in Chromium as a person would, through tests/web/page_driver.py:
// Debian's python3-selenium with chromedriver and a headless Chromium, and the static web
// server for build/web. The driver is an e2e Process in a process group of its own, which
// holds the server, chromedriver and Chromium: all gone with the test however it ends.
#pragma once

#include <string>

#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_window.h"

namespace e2e {

struct Browser {
    Process driver;     // page_driver.py, with everything it started
    int commands = -1;  // our ends of its two pipes
    int answers = -1;
    std::string base;  // the server's address, "http://127.0.0.1:<port>/"
};

// Starts the driver on webDir and waits for its session with headless Chromium. False
// with *error saying what failed, and nothing left running.
bool startBrowser(const std::string& webDir, Browser* browser, std::string* error);
// Ends the session, then the driver and whatever it started.
void stopBrowser(Browser* browser);
bool started(const Browser& browser);

// One command to the driver and its answer: "open" a page under webDir ("index.html");
// run a "script" (a function body), answered with what it returns as a string; press a
// "key" as WebDriver spells it ("\uE035" for F5); "drag" the mouse "x y dx dy" in CSS
// pixels of the viewport ("x y 0 0" clicks); the console's "errors" since the last call,
// one a line. False with *error when the page or the driver failed it.
bool call(const Browser& browser, const std::string& verb, const std::string& text,
          std::string* answer, std::string* error);

// What the canvas shows, read through the page's own 2D context, with the number of
// frames the page had put on it when read.
struct CanvasRead {
    long frames = 0;
    Image image;  // 0x00RRGGBB
};
bool readCanvas(const Browser& browser, CanvasRead* read, std::string* error);

}  // namespace e2e
