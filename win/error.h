// The reason the last window call failed, for a program's start-up message. Not part of
// Win32 (which has GetLastError and codes); set by the window layer only.
#pragma once

namespace win {

// One line naming why the latest failing window call failed ("" when none has).
const char* lastErrorText();

}  // namespace win
