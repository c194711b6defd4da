// The one-line reason of the latest failing window call, for the start-up message
// (win::lastErrorText). Set by the core and the back ends; it never clears itself,
// as Win32's last error does not.
#include <string>
#include <utility>

#include "win/core.h"
#include "win/error.h"

namespace win {
namespace {

std::string lastError;  // all mutable state of this file

}  // namespace

void setLastErrorText(std::string text) {
    lastError = std::move(text);
}

void resetErrors() {
    lastError.clear();
}

const char* lastErrorText() {
    return lastError.c_str();
}

}  // namespace win
