// Driving the viewer's page in Chromium as a person would: a static web server for
// build/web, chromedriver with a headless Chromium behind it, and a small WebDriver
// client (HTTP and JSON on 127.0.0.1) to load the page, press keys, run script in it and
// read the browser's console. The helpers are e2e Processes: each in its own process
// group (chromedriver's holds Chromium), gone with the test however it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/support/process.h"
#include "tests/e2e/support/x_window.h"

namespace e2e {

struct Browser {
    std::string profile;  // Chromium's profile folder, this run's
    Process server;
    Process driver;  // chromedriver, with Chromium as its child
    int serverPort = 0;
    int driverPort = 0;
    std::string session;  // the WebDriver session id
};

// Starts the server on webDir, chromedriver and a session with headless Chromium, each
// checked ready. False with *error naming the helper that failed, and nothing left
// running.
bool startBrowser(const std::string& webDir, Browser* browser, std::string* error);
// Ends the session, then every helper and whatever they started.
void stopBrowser(Browser* browser);

// The page's address for a path under webDir.
std::string pageUrl(const Browser& browser, const std::string& path);
bool navigate(const Browser& browser, const std::string& url, std::string* error);

// Runs `script` (a function body) in the page; what it returns, as a string.
bool runScript(const Browser& browser, const std::string& script, std::string* result,
               std::string* error);

// Presses and releases one key, given as WebDriver spells it ("\uE035" for F5).
bool pressKey(const Browser& browser, const std::string& key, std::string* error);
// Drags with the mouse from (x, y) by (dx, dy), in CSS pixels of the viewport.
bool drag(const Browser& browser, int x, int y, int dx, int dy, std::string* error);

// The browser console's entries at level SEVERE (errors) since the last call.
bool consoleErrors(const Browser& browser, std::vector<std::string>* errors, std::string* error);

// What the canvas shows, read through the page's own 2D context, with the number of
// frames the page had put on it when read.
struct CanvasRead {
    long frames = 0;
    Image image;  // 0x00RRGGBB
};
bool readCanvas(const Browser& browser, CanvasRead* read, std::string* error);

// ---- the pieces, for the tests of the client itself ----
std::string jsonQuote(const std::string& text);
// The string, number or literal after "key": in a JSON text, undecoded for non-strings.
bool jsonField(const std::string& json, const std::string& key, std::string* value);
std::vector<std::uint8_t> decodeBase64(const std::string& text);

}  // namespace e2e
