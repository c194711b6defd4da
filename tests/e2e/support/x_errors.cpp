#include "tests/e2e/support/x_errors.h"

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines None, Bool and Status as macros.
#include <X11/Xlib.h>

#include <cstdio>

namespace e2e {
namespace {

WindowsMayVanish* innermost = nullptr;  // the test thread's open scopes, a stack

// The failure sink: the running test's failure, or stderr outside a test.
void reportFailure(const std::string& message) {
    const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
    if (tests.current_test_suite() != nullptr || tests.current_test_info() != nullptr) {
        ADD_FAILURE() << message;
    } else {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

int onIoError(Display* display) {
    reportFailure(std::string("the connection to the X server ") + DisplayString(display) +
                  " is lost");
    return 0;
}

// Returning leaves the connection marked dead (every later call fails at once) instead
// of Xlib's exit.
void stayAlive(Display*, void*) {}

// Only calls that send no request: a handler must not talk to the server.
std::string describeXError(Display* display, const XErrorEvent& error) {
    char text[256] = {};
    XGetErrorText(display, error.error_code, text, sizeof(text));
    std::string request;
    if (error.request_code < 128) {
        char name[128] = {};
        const std::string number = std::to_string(error.request_code);
        XGetErrorDatabaseText(display, "XRequest", number.c_str(), "", name, sizeof(name));
        request = std::string(*name != '\0' ? name : "core request") + " (" + number + ")";
    } else {
        request = "extension request " + std::to_string(error.request_code) + "." +
                  std::to_string(error.minor_code);
    }
    char resource[32];
    std::snprintf(resource, sizeof(resource), "0x%lx", error.resourceid);
    return std::string("X error ") + text + " on " + request + ", resource " + resource +
           ", display " + DisplayString(display);
}

int onXError(Display* display, XErrorEvent* error) {
    const bool gone = error->error_code == BadWindow || error->error_code == BadDrawable;
    if (!gone || !WindowsMayVanish::absorb(display)) reportFailure(describeXError(display, *error));
    return 0;
}

}  // namespace

void guardXErrors(Display* display) {
    static const bool installed = [] {
        XSetErrorHandler(onXError);
        XSetIOErrorHandler(onIoError);
        return true;
    }();
    (void)installed;
    XSetIOErrorExitHandler(display, stayAlive, nullptr);
}

WindowsMayVanish::WindowsMayVanish(Display* display) : display_(display), outer_(innermost) {
    innermost = this;
}

bool WindowsMayVanish::absorb(Display* display) {
    for (WindowsMayVanish* scope = innermost; scope != nullptr; scope = scope->outer_) {
        if (scope->display_ == display) return true;
    }
    return false;
}

WindowsMayVanish::~WindowsMayVanish() {
    XSync(display_, False);  // errors of requests made in the scope arrive in the scope
    innermost = outer_;
}

}  // namespace e2e
