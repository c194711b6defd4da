// The one message queue of the program (it has one thread) and the calls over it:
// PostMessageW, SendMessageW, PeekMessageW, TranslateMessage, DispatchMessageW and
// PostQuitMessage. Native events reach it through the back end's pump; nothing waits.
#include <chrono>
#include <deque>

#include "win/backend.h"
#include "win/core.h"

namespace win {
namespace {

// Win32 refuses posts beyond 10,000 pending messages; so do we, rather than grow
// without bound when nobody drains the queue.
constexpr std::size_t kQueueLimit = 10000;

// All mutable state of this file.
struct Queue {
    std::deque<MSG> messages;
    bool quitPending = false;  // set by PostQuitMessage, cleared when WM_QUIT is taken
    int exitCode = 0;
    bool shiftDown = false;  // as TranslateMessage has seen the key messages pass
    bool capsLock = false;
};
Queue queue;

DWORD tickCount() {
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

MSG makeMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{hWnd, message, wParam, lParam, tickCount(), POINT{0, 0}};
}

bool push(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (queue.messages.size() >= kQueueLimit) return false;
    queue.messages.push_back(makeMessage(hWnd, message, wParam, lParam));
    return true;
}

bool matches(const MSG& msg, HWND hWnd, UINT filterMin, UINT filterMax) {
    // hWnd -1 asks for messages posted to no window, as Win32 defines it.
    if (hWnd == reinterpret_cast<HWND>(-1)) {
        if (msg.hwnd != nullptr) return false;
    } else if (hWnd != nullptr && msg.hwnd != hWnd) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

// The character a key-down types, with the US layout's shifted digits; 0 for keys
// that type nothing.
WCHAR characterOf(WPARAM vk) {
    if (vk >= 'A' && vk <= 'Z') {
        const bool upper = queue.shiftDown != queue.capsLock;
        return static_cast<WCHAR>(upper ? vk : vk - 'A' + 'a');
    }
    if (vk >= '0' && vk <= '9') {
        static constexpr WCHAR kShifted[] = L")!@#$%^&*(";
        return queue.shiftDown ? kShifted[vk - '0'] : static_cast<WCHAR>(vk);
    }
    switch (vk) {
        case VK_SPACE: return L' ';
        case VK_RETURN: return L'\r';
        case VK_ESCAPE: return 0x1B;
        case VK_BACK: return 0x08;
        case VK_TAB: return L'\t';
        default: return 0;
    }
}

}  // namespace

void enqueue(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    push(hWnd, message, wParam, lParam);
}

void resetQueue() {
    queue = Queue{};
}

}  // namespace win

using win::queue;

BOOL WINAPI PostMessageW(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A null hWnd posts to the thread, as Win32 does; any other handle must be live.
    if (hWnd != nullptr && win::windowProcOf(hWnd) == nullptr) return FALSE;
    return win::push(hWnd, message, wParam, lParam) ? TRUE : FALSE;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC proc = win::windowProcOf(hWnd);
    return proc == nullptr ? 0 : proc(hWnd, message, wParam, lParam);
}

BOOL WINAPI PeekMessageW(MSG* msg, HWND hWnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (msg == nullptr) return FALSE;
    win::backend::pumpEvents();
    const bool remove = (removeMsg & PM_REMOVE) != 0;
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
        if (!win::matches(*it, hWnd, filterMin, filterMax)) continue;
        *msg = *it;
        if (remove) queue.messages.erase(it);
        return TRUE;
    }
    // WM_QUIT comes only once nothing else is pending, and whatever the filter.
    if (queue.quitPending) {
        *msg = win::makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.exitCode), 0);
        if (remove) queue.quitPending = false;
        return TRUE;
    }
    return FALSE;  // msg is left as it was
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (msg == nullptr) return FALSE;
    if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP) {
        if (msg->wParam == VK_SHIFT) queue.shiftDown = false;
        return TRUE;  // Win32: nonzero for every key message, translated or not
    }
    const bool system = msg->message == WM_SYSKEYDOWN;
    if (msg->message != WM_KEYDOWN && !system) return FALSE;
    const bool repeat = (msg->lParam & (LPARAM{1} << 30)) != 0;
    if (msg->wParam == VK_SHIFT) queue.shiftDown = true;
    if (msg->wParam == VK_CAPITAL && !repeat) queue.capsLock = !queue.capsLock;
    const WCHAR c = win::characterOf(msg->wParam);
    // The character is the next message taken, ahead of anything queued meanwhile.
    if (c != 0 && queue.messages.size() < win::kQueueLimit) {
        queue.messages.push_front(win::makeMessage(msg->hwnd, system ? WM_SYSCHAR : WM_CHAR,
                                                   static_cast<WPARAM>(c), msg->lParam));
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    // WM_QUIT (no window) and messages for windows already destroyed reach nobody.
    if (msg == nullptr) return 0;
    const WNDPROC proc = win::windowProcOf(msg->hwnd);
    return proc == nullptr ? 0 : proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    queue.quitPending = true;
    queue.exitCode = exitCode;
}
