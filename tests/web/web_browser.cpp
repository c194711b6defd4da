// The web server, chromedriver and Chromium for the page tests, and the WebDriver client
// that speaks to chromedriver: HTTP/1.1 requests, one per connection, on 127.0.0.1, JSON built by
// hand and read by field, enough for the few commands the tests send.
#include "web_browser.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "tests/e2e/support/poll.h"

namespace e2e {
namespace {

constexpr int kStartMs = 20000;  // Chromium's first start on a busy machine takes seconds

// A port nothing listens on now: the kernel's pick for a socket bound to port 0.
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

struct Reply {
    int status = 0;
    std::string body;
};

// A chunked HTTP/1.1 body joined.
std::string unchunk(const std::string& body) {
    std::string joined;
    std::size_t at = 0;
    while (at < body.size()) {
        const std::size_t lineEnd = body.find("\r\n", at);
        if (lineEnd == std::string::npos) break;
        const std::size_t size = std::strtoul(body.c_str() + at, nullptr, 16);
        if (size == 0) break;
        joined += body.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
    return joined;
}

// One request, answered and closed. False with *error when nobody answers.
bool request(int port, const std::string& method, const std::string& path, const std::string& body,
             Reply* reply, std::string* error) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        *error = "no socket";
        return false;
    }
    timeval timeout{120, 0};  // a script or a page load may take long; never forever
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        *error = "nothing answers on 127.0.0.1:" + std::to_string(port);
        return false;
    }
    std::string text = method + " " + path +
                       " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                       "\r\nConnection: close\r\n";
    if (method == "POST") {
        text += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n";
    }
    text += "\r\n" + body;
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            close(fd);
            *error = "the request to 127.0.0.1:" + std::to_string(port) + " was cut off";
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    // Read until the body is complete: a server may keep the connection open.
    std::string answer;
    char buffer[65536];
    std::size_t split = std::string::npos;
    std::size_t wanted = std::string::npos;  // the whole answer's length, once known
    bool chunked = false;
    for (;;) {
        if (split == std::string::npos && (split = answer.find("\r\n\r\n")) != std::string::npos) {
            std::string headers = answer.substr(0, split);
            for (char& c : headers)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            chunked = headers.find("transfer-encoding: chunked") != std::string::npos;
            const std::size_t length = headers.find("content-length:");
            if (length != std::string::npos) {
                wanted = split + 4 + std::strtoul(headers.c_str() + length + 15, nullptr, 10);
            }
        }
        if (wanted != std::string::npos && answer.size() >= wanted) break;
        if (chunked && answer.size() >= split + 5 &&
            answer.compare(answer.size() - 5, 5, "0\r\n\r\n") == 0) {
            break;
        }
        const ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    if (answer.compare(0, 5, "HTTP/") != 0 || split == std::string::npos) {
        *error = "no HTTP answer from 127.0.0.1:" + std::to_string(port);
        return false;
    }
    reply->status = std::atoi(answer.c_str() + answer.find(' ') + 1);
    reply->body = answer.substr(split + 4);
    if (chunked) reply->body = unchunk(reply->body);
    return true;
}

// A WebDriver command: false with the driver's own message when it reports an error.
bool command(const Browser& browser, const std::string& method, const std::string& path,
             const std::string& body, std::string* json, std::string* error) {
    Reply reply;
    if (!request(browser.driverPort, method, path, body, &reply, error)) {
        if (!browser.driver.alive()) *error = browser.driver.failure("is gone");
        return false;
    }
    if (reply.status != 200) {
        std::string message;
        jsonField(reply.body, "message", &message);
        *error = method + " " + path + ": HTTP " + std::to_string(reply.status) + ": " +
                 (message.empty() ? reply.body.substr(0, 500) : message.substr(0, 500));
        return false;
    }
    *json = reply.body;
    return true;
}

std::string sessionPath(const Browser& browser, const std::string& rest) {
    return "/session/" + browser.session + rest;
}

void appendUtf8(std::string* out, unsigned code) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The JSON string that starts at json[at] (a quote), decoded; npos past its end.
std::size_t parseString(const std::string& json, std::size_t at, std::string* out) {
    out->clear();
    for (std::size_t i = at + 1; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') return i + 1;
        if (c != '\\') {
            out->push_back(c);
            continue;
        }
        if (++i >= json.size()) break;
        switch (json[i]) {
            case 'n': out->push_back('\n'); break;
            case 't': out->push_back('\t'); break;
            case 'r': out->push_back('\r'); break;
            case 'b': out->push_back('\b'); break;
            case 'f': out->push_back('\f'); break;
            case 'u':
                if (i + 4 >= json.size()) return std::string::npos;
                appendUtf8(out, static_cast<unsigned>(
                                    std::strtoul(json.substr(i + 1, 4).c_str(), nullptr, 16)));
                i += 4;
                break;
            default: out->push_back(json[i]); break;  // \" \\ \/
        }
    }
    return std::string::npos;
}

// The objects of a JSON array of flat objects, as texts.
std::vector<std::string> arrayObjects(const std::string& json) {
    std::vector<std::string> objects;
    int depth = 0;
    std::size_t start = 0;
    std::string ignored;
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (json[i] == '"') {
            const std::size_t end = parseString(json, i, &ignored);
            if (end == std::string::npos) break;
            i = end - 1;
        } else if (json[i] == '{') {
            if (depth++ == 1) start = i;  // depth 0 is the reply around the array
        } else if (json[i] == '}') {
            if (--depth == 1) objects.push_back(json.substr(start, i + 1 - start));
        }
    }
    return objects;
}

}  // namespace

std::string jsonQuote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                    out += escaped;
                } else {
                    out.push_back(c);
                }
        }
    }
    return out + "\"";
}

bool jsonField(const std::string& json, const std::string& key, std::string* value) {
    const std::string quoted = "\"" + key + "\"";
    std::string ignored;
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (json[i] != '"') continue;
        const bool isKey = json.compare(i, quoted.size(), quoted) == 0;
        const std::size_t end = parseString(json, i, &ignored);
        if (end == std::string::npos) return false;
        std::size_t at = json.find_first_not_of(" \t\r\n", end);
        if (!isKey || at == std::string::npos || json[at] != ':') {
            i = end - 1;
            continue;
        }
        at = json.find_first_not_of(" \t\r\n", at + 1);
        if (at == std::string::npos) return false;
        if (json[at] == '"') return parseString(json, at, value) != std::string::npos;
        const std::size_t stop = json.find_first_of(",}] \t\r\n", at);
        *value = json.substr(at, stop == std::string::npos ? std::string::npos : stop - at);
        return true;
    }
    return false;
}

std::vector<std::uint8_t> decodeBase64(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') {
            v = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            v = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            v = c - '0' + 52;
        } else if (c == '+') {
            v = 62;
        } else if (c == '/') {
            v = 63;
        } else {
            continue;  // padding
        }
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    return bytes;
}

bool startBrowser(const std::string& webDir, Browser* browser, std::string* error) {
    browser->profile = runPath("chromium-profile");
    browser->serverPort = freePort();
    browser->driverPort = freePort();
    browser->server = Process(Launch{
        "the web server (tools/serve_web.py)",
        {"python3", WEB_SERVE_SCRIPT, webDir, "--port", std::to_string(browser->serverPort)}});
    Reply reply;
    std::string ignored;
    if (!pollUntil(
            [&] {
                return request(browser->serverPort, "GET", "/index.html", "", &reply, &ignored) &&
                       reply.status == 200;
            },
            Poll{kStartMs, 50, {&browser->server}, "the web server serving index.html"}, error)) {
        stopBrowser(browser);
        return false;
    }
    browser->driver = Process(
        Launch{"chromedriver", {"chromedriver", "--port=" + std::to_string(browser->driverPort)}});
    if (!pollUntil(
            [&] {
                std::string ready;
                return request(browser->driverPort, "GET", "/status", "", &reply, &ignored) &&
                       jsonField(reply.body, "ready", &ready) && ready == "true";
            },
            Poll{kStartMs, 50, {&browser->driver}, "chromedriver answering /status with ready"},
            error)) {
        stopBrowser(browser);
        return false;
    }
    // Root needs --no-sandbox; the profile is this run's, so two runs never meet.
    const std::string capabilities =
        R"({"capabilities":{"alwaysMatch":{"browserName":"chrome",)"
        R"("goog:loggingPrefs":{"browser":"ALL"},"goog:chromeOptions":{"binary":"/usr/bin/chromium",)"
        R"("args":["--headless=new","--no-sandbox","--disable-dev-shm-usage","--window-size=1200,900",)"
        R"("--no-first-run","--user-data-dir=)" +
        browser->profile + R"("]}}}})";
    std::string json;
    if (!command(*browser, "POST", "/session", capabilities, &json, error) ||
        !jsonField(json, "sessionId", &browser->session)) {
        if (error->empty()) *error = "no session id in " + json.substr(0, 300);
        *error = "Chromium did not start through chromedriver: " + *error + "\n" +
                 browser->driver.failure("was asked for a session");
        stopBrowser(browser);
        return false;
    }
    return true;
}

void stopBrowser(Browser* browser) {
    if (!browser->session.empty() && browser->driver.alive()) {
        std::string json, ignored;
        command(*browser, "DELETE", sessionPath(*browser, ""), "", &json, &ignored);
    }
    browser->session.clear();
    browser->driver.stop();  // the whole group: Chromium and its helpers too
    browser->server.stop();
}

std::string pageUrl(const Browser& browser, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(browser.serverPort) + "/" + path;
}

bool navigate(const Browser& browser, const std::string& url, std::string* error) {
    std::string json;
    return command(browser, "POST", sessionPath(browser, "/url"),
                   "{\"url\":" + jsonQuote(url) + "}", &json, error);
}

bool runScript(const Browser& browser, const std::string& script, std::string* result,
               std::string* error) {
    std::string json;
    if (!command(browser, "POST", sessionPath(browser, "/execute/sync"),
                 "{\"script\":" + jsonQuote(script) + ",\"args\":[]}", &json, error)) {
        return false;
    }
    if (!jsonField(json, "value", result)) {
        *error = "no value in the script's answer: " + json.substr(0, 300);
        return false;
    }
    return true;
}

bool pressKey(const Browser& browser, const std::string& key, std::string* error) {
    const std::string value = jsonQuote(key);
    const std::string actions =
        R"({"actions":[{"type":"key","id":"keyboard","actions":[{"type":"keyDown","value":)" +
        value + R"(},{"type":"keyUp","value":)" + value + "}]}]}";
    std::string json;
    return command(browser, "POST", sessionPath(browser, "/actions"), actions, &json, error) &&
           command(browser, "DELETE", sessionPath(browser, "/actions"), "", &json, error);
}

bool drag(const Browser& browser, int x, int y, int dx, int dy, std::string* error) {
    const auto move = [](int px, int py, int ms) {
        return R"({"type":"pointerMove","origin":"viewport","duration":)" + std::to_string(ms) +
               R"(,"x":)" + std::to_string(px) + R"(,"y":)" + std::to_string(py) + "}";
    };
    const std::string actions =
        R"({"actions":[{"type":"pointer","id":"mouse","parameters":{"pointerType":"mouse"},"actions":[)" +
        move(x, y, 0) + R"(,{"type":"pointerDown","button":0},)" +
        move(x + dx / 2, y + dy / 2, 50) + "," + move(x + dx, y + dy, 50) +
        R"(,{"type":"pointerUp","button":0}]}]})";
    std::string json;
    return command(browser, "POST", sessionPath(browser, "/actions"), actions, &json, error) &&
           command(browser, "DELETE", sessionPath(browser, "/actions"), "", &json, error);
}

bool consoleErrors(const Browser& browser, std::vector<std::string>* errors, std::string* error) {
    std::string json;
    if (!command(browser, "POST", sessionPath(browser, "/se/log"), R"({"type":"browser"})", &json,
                 error)) {
        return false;
    }
    errors->clear();
    for (const std::string& entry : arrayObjects(json)) {
        std::string level, message;
        if (jsonField(entry, "level", &level) && level == "SEVERE" &&
            jsonField(entry, "message", &message)) {
            errors->push_back(message);
        }
    }
    return true;
}

bool readCanvas(const Browser& browser, CanvasRead* read, std::string* error) {
    // One script, so the frame count and the pixels belong together: the page's loop
    // cannot run while it does. RGB bytes in base64 keep the answer small enough.
    const std::string script = R"(
        const canvas = document.getElementById("canvas");
        const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
        const parts = [];
        for (let at = 0; at < data.length; at += 3 * 4096) {
            let chunk = "";
            const end = Math.min(data.length, at + 3 * 4096);
            for (let i = at; i < end; i += 4) chunk += String.fromCharCode(data[i], data[i + 1], data[i + 2]);
            parts.push(chunk);
        }
        return [Module.viewerPage.frames, canvas.width, canvas.height, btoa(parts.join(""))].join(",");)";
    std::string result;
    if (!runScript(browser, script, &result, error)) return false;
    long fields[3] = {};
    std::size_t at = 0;
    for (long& field : fields) {
        const std::size_t comma = result.find(',', at);
        if (comma == std::string::npos) {
            *error = "the canvas read gave " + result.substr(0, 200);
            return false;
        }
        field = std::atol(result.substr(at, comma - at).c_str());
        at = comma + 1;
    }
    const std::vector<std::uint8_t> rgb = decodeBase64(result.substr(at));
    read->frames = fields[0];
    read->image.width = static_cast<int>(fields[1]);
    read->image.height = static_cast<int>(fields[2]);
    const std::size_t count = static_cast<std::size_t>(read->image.width) * read->image.height;
    if (rgb.size() != count * 3) {
        *error = "the canvas read gave " + std::to_string(rgb.size()) + " bytes for " +
                 std::to_string(count) + " pixels";
        return false;
    }
    read->image.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        read->image.pixels[i] = (std::uint32_t{rgb[3 * i]} << 16) |
                                (std::uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    }
    return true;
}

}  // namespace e2e
