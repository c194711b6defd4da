// The class registry and the window records behind RegisterClassExW, CreateWindowExW,
// ShowWindow, DestroyWindow, DefWindowProcW and the small lookups. Handles are opaque
// numbers checked against the registry, never pointers; the queue lives in queue.cpp.
#include <algorithm>
#include <cwctype>
#include <map>
#include <string>

#include "win/backend.h"
#include "win/core.h"

namespace win {
namespace {

struct WindowClass {
    std::wstring name;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HCURSOR cursor = nullptr;  // shown over the client of the class's windows
};

struct Window {
    WNDPROC proc = nullptr;
    std::wstring className;
    ClientSize client;    // pixels, as the back end reports them
    ClientSize restored;  // the size to report again after a minimise
    FrameExtents frame;   // as the back end reported it at creation; 0 where unknown
    bool visible = false;
    bool destroying = false;  // WM_DESTROY is on its way; a nested DestroyWindow does nothing
};

// All mutable state of this file.
struct Registry {
    std::map<std::wstring, WindowClass> classes;  // keyed by the upper-cased name
    std::map<std::uintptr_t, Window> windows;
    std::uintptr_t nextHandle = 0x10010;  // never reused, so a stale handle stays invalid
    ATOM nextAtom = 0xC000;               // class atoms live in 0xC000..0xFFFF
    DefWindowProcWatcher defWindowProcWatcher = nullptr;
};
Registry registry;

// Win32 compares class names case-insensitively.
std::wstring classKey(LPCWSTR name) {
    std::wstring key;
    for (const WCHAR* p = name; *p != L'\0'; ++p)
        key.push_back(static_cast<WCHAR>(std::towupper(*p)));
    return key;
}

// Class names may be atoms in the low word of the pointer, as MAKEINTATOM makes them;
// we register none, so such a name never matches.
bool isAtom(LPCWSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF;
}

std::uintptr_t handleValue(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

Window* find(HWND hWnd) {
    auto it = registry.windows.find(handleValue(hWnd));
    return it == registry.windows.end() ? nullptr : &it->second;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// wchar_t is UTF-32 on Linux; surrogates and out-of-range values become U+FFFD.
std::string toUtf8(LPCWSTR text) {
    std::string out;
    if (text == nullptr) return out;
    for (const WCHAR* p = text; *p != L'\0'; ++p) {
        const auto c = static_cast<char32_t>(*p);
        const bool valid = c < 0x110000 && (c < 0xD800 || c > 0xDFFF);
        appendUtf8(out, valid ? c : U'\uFFFD');
    }
    return out;
}

LPARAM sizeParam(ClientSize size) {
    return MAKELPARAM(static_cast<WORD>(size.width), static_cast<WORD>(size.height));
}

}  // namespace

WNDPROC windowProcOf(HWND hWnd) {
    const Window* window = find(hWnd);
    return window == nullptr ? nullptr : window->proc;
}

HCURSOR classCursorOf(HWND hWnd) {
    const Window* window = find(hWnd);
    if (window == nullptr) return nullptr;
    const auto cls = registry.classes.find(window->className);
    return cls == registry.classes.end() ? nullptr : cls->second.cursor;
}

bool clientSizeOf(HWND hWnd, ClientSize* size) {
    const Window* window = find(hWnd);
    if (window == nullptr) return false;
    *size = window->client;
    return true;
}

ClientSize clientOfOuter(int outerWidth, int outerHeight, const FrameExtents& frame) {
    const auto less = [](int outer, int a, int b) {
        const long long inner = static_cast<long long>(outer) - a - b;
        return inner < 0 ? 0 : static_cast<int>(std::min<long long>(inner, outer));
    };
    return {less(outerWidth, frame.left, frame.right), less(outerHeight, frame.top, frame.bottom)};
}

void noteFrameExtents(HWND hWnd, const FrameExtents& frame) {
    Window* window = find(hWnd);
    if (window != nullptr) window->frame = frame;
}

void noteClientSize(HWND hWnd, int width, int height, WPARAM sizeType) {
    Window* window = find(hWnd);
    if (window == nullptr) return;
    window->client = {width, height};
    if (sizeType != SIZE_MINIMIZED) window->restored = window->client;
    enqueue(hWnd, WM_SIZE, sizeType, sizeParam(window->client));
}

void watchDefWindowProc(DefWindowProcWatcher watcher) {
    registry.defWindowProcWatcher = watcher;
}

void resetWindows() {
    // Back-end windows go too, so nothing native outlives a test.
    while (!registry.windows.empty()) {
        const std::uintptr_t handle = registry.windows.begin()->first;
        backend::destroyWindow(reinterpret_cast<HWND>(handle));
        registry.windows.erase(handle);
    }
    registry.classes.clear();
    registry.defWindowProcWatcher = nullptr;
}

}  // namespace win

using win::registry;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXW) || wc->lpfnWndProc == nullptr ||
        wc->lpszClassName == nullptr || win::isAtom(wc->lpszClassName) ||
        wc->lpszClassName[0] == L'\0') {
        return 0;
    }
    std::wstring key = win::classKey(wc->lpszClassName);
    if (registry.classes.contains(key)) return 0;  // already registered
    registry.classes[key] = {wc->lpszClassName, wc->lpfnWndProc, wc->hInstance, wc->hCursor};
    const ATOM atom = registry.nextAtom;
    registry.nextAtom = atom == 0xFFFF ? 0xC000 : static_cast<ATOM>(atom + 1);
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE /*instance*/) {
    if (className == nullptr || win::isAtom(className)) return FALSE;
    const std::wstring key = win::classKey(className);
    auto it = registry.classes.find(key);
    if (it == registry.classes.end()) return FALSE;
    // Win32 refuses while windows of the class still exist.
    for (const auto& [handle, window] : registry.windows) {
        if (window.className == key) return FALSE;
    }
    registry.classes.erase(it);
    return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    if (className == nullptr || win::isAtom(className)) {
        win::setLastErrorText("cannot open a window: no class name given");
        return nullptr;
    }
    const std::wstring key = win::classKey(className);
    auto cls = registry.classes.find(key);
    if (cls == registry.classes.end()) {
        win::setLastErrorText("cannot open a window: class \"" + win::toUtf8(className) +
                              "\" is not registered");
        return nullptr;
    }
    if (width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF) {
        win::setLastErrorText("cannot open a window: size out of range");
        return nullptr;
    }
    if (parent != nullptr && win::find(parent) == nullptr) {
        win::setLastErrorText("cannot open a window: the parent window does not exist");
        return nullptr;
    }

    const HWND hWnd = reinterpret_cast<HWND>(registry.nextHandle);
    registry.nextHandle += 4;
    win::Window record;
    record.proc = cls->second.proc;
    record.className = key;
    record.client = record.restored = {width, height};
    registry.windows[win::handleValue(hWnd)] = record;

    if (!win::backend::createWindow(hWnd, win::toUtf8(windowName), x, y, width, height)) {
        registry.windows.erase(win::handleValue(hWnd));
        return nullptr;
    }
    // The size given is the outer box; the client is what the frame leaves of it.
    win::Window& created = registry.windows[win::handleValue(hWnd)];
    created.client = created.restored = win::clientOfOuter(width, height, created.frame);
    const win::ClientSize client = created.client;

    CREATESTRUCTW create{
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    // A window procedure that answers WM_CREATE with -1 refuses the window.
    if (SendMessageW(hWnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hWnd);
        win::setLastErrorText("cannot open a window: the window procedure refused WM_CREATE");
        return nullptr;
    }
    if (win::find(hWnd) == nullptr) {  // destroyed by its own WM_CREATE handler
        win::setLastErrorText("cannot open a window: destroyed while it was being created");
        return nullptr;
    }
    SendMessageW(hWnd, WM_SIZE, SIZE_RESTORED, win::sizeParam(client));
    if (win::find(hWnd) == nullptr) return nullptr;
    if ((style & WS_VISIBLE) != 0) ShowWindow(hWnd, SW_SHOW);
    win::backend::windowCreated(hWnd);
    return win::find(hWnd) == nullptr ? nullptr : hWnd;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    win::Window* window = win::find(hWnd);
    if (window == nullptr) return FALSE;
    const bool wasVisible = window->visible;
    const bool show = nCmdShow != SW_HIDE;
    window->visible = show;

    win::ClientSize size = window->restored;
    win::backend::showWindow(hWnd, nCmdShow, &size);
    // Win32 sends these before ShowWindow returns, so the procedure sees them first.
    if (show != wasVisible) SendMessageW(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (!show) return wasVisible ? TRUE : FALSE;

    window = win::find(hWnd);  // the procedure may have destroyed it
    if (window == nullptr) return wasVisible ? TRUE : FALSE;
    const bool minimised = nCmdShow == SW_SHOWMINIMIZED || nCmdShow == SW_MINIMIZE;
    const WPARAM sizeType = minimised                      ? SIZE_MINIMIZED
                            : nCmdShow == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED
                                                           : SIZE_RESTORED;
    window->client = minimised ? win::ClientSize{} : size;
    if (!minimised) window->restored = window->client;
    SendMessageW(hWnd, WM_SIZE, sizeType, win::sizeParam(window->client));
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    win::Window* window = win::find(hWnd);
    if (window == nullptr || window->destroying) return FALSE;
    window->destroying = true;
    // Win32 sends WM_DESTROY while the window still exists, before DestroyWindow returns.
    SendMessageW(hWnd, WM_DESTROY, 0, 0);
    win::backend::destroyWindow(hWnd);
    registry.windows.erase(win::handleValue(hWnd));
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    return win::find(hWnd) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI GetClientRect(HWND hWnd, RECT* rect) {
    const win::Window* window = win::find(hWnd);
    if (window == nullptr || rect == nullptr) return FALSE;
    *rect = {0, 0, window->client.width, window->client.height};
    return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (registry.defWindowProcWatcher != nullptr)
        registry.defWindowProcWatcher(hWnd, message, wParam, lParam);
    switch (message) {
        // Destroys the window; a close for a window already gone does nothing.
        case WM_CLOSE: DestroyWindow(hWnd); break;
        // Alt+F4 is the keyboard's way to the window menu's Close, posted as the menu posts it.
        case WM_SYSKEYDOWN:
            if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN) != 0)
                PostMessageW(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        // The low four bits of a system command are the system's own.
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(hWnd, WM_CLOSE, 0, 0);
            break;
        default: break;
    }
    return 0;
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR cursorName) {
    // Only the system arrow exists here; the value is an opaque token, never dereferenced.
    if (instance == nullptr && cursorName == IDC_ARROW) {
        return reinterpret_cast<HCURSOR>(std::uintptr_t{0x10003});
    }
    return nullptr;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName) {
    // The program's own image; named modules do not exist here.
    if (moduleName != nullptr) return nullptr;
    return reinterpret_cast<HMODULE>(std::uintptr_t{0x400000});
}
