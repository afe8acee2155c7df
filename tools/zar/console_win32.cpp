// zar's console on Windows: the standard handles (bytes, never text-mode
// translation), the console's mode and size, Ctrl-C through a console handler.
#include <windows.h>

#include <cstdlib>
#include <random>

#include "console.h"

namespace zar::cli {
namespace {

void (*interruptHandler)() = nullptr;

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    if (interruptHandler != nullptr) interruptHandler();
    return TRUE;
}

bool isConsole(DWORD which) {
    DWORD mode;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

std::string lastError() {
    char text[512] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ::GetLastError(), 0, text,
                     sizeof text, nullptr);
    std::string out(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
    return out;
}

}  // namespace

bool stderrIsTerminal() { return isConsole(STD_ERROR_HANDLE); }
bool stdinIsTerminal() { return isConsole(STD_INPUT_HANDLE); }

int terminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 20) return width;
    }
    return 80;
}

bool writeStandardOutput(const char* data, size_t size) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    while (size != 0) {
        DWORD n = 0;
        const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        if (!::WriteFile(out, data, piece, &n, nullptr) || n == 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

bool readInputPiece(char* data, size_t size, size_t* got) {
    DWORD n = 0;
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), data, piece, &n, nullptr)) {
        *got = 0;
        return ::GetLastError() == ERROR_BROKEN_PIPE;  // the writer's end closed: the end of input
    }
    *got = n;
    return true;
}

namespace {

int askOnConsole(const std::string& prompt, std::string* answer, bool hide) {
    answer->clear();
    HANDLE in = ::CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    HANDLE out = ::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
        if (in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
        if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
        return -1;
    }
    DWORD saved = 0, n = 0;
    const bool canHide = hide && ::GetConsoleMode(in, &saved);
    if (canHide) ::SetConsoleMode(in, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    bool ok = ::WriteConsoleA(out, prompt.data(), static_cast<DWORD>(prompt.size()), &n, nullptr);
    for (char c; ok;) {
        if (!::ReadConsoleA(in, &c, 1, &n, nullptr) || n == 0) {
            ok = !answer->empty();
            break;
        }
        if (c == '\n') break;
        if (c != '\r') *answer += c;
    }
    if (canHide) ::SetConsoleMode(in, saved);
    if (hide) ::WriteConsoleA(out, "\r\n", 2, &n, nullptr);
    ::CloseHandle(in);
    ::CloseHandle(out);
    return ok ? 1 : 0;
}

}  // namespace

int askHidden(const std::string& prompt, std::string* answer) { return askOnConsole(prompt, answer, true); }
int askShown(const std::string& prompt, std::string* answer) { return askOnConsole(prompt, answer, false); }

void onInterrupt(void (*handler)()) {
    interruptHandler = handler;
    ::SetConsoleCtrlHandler(onControl, TRUE);
}

void sayNow(const char* text, size_t size) {
    DWORD n = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size), &n, nullptr);
}

void exitNow(int code) { ::ExitProcess(static_cast<UINT>(code)); }

std::string makePrivateDirectory(const char* prefix) {
    // The temporary folder is the user's own; a folder made in it inherits that.
    char base[MAX_PATH + 1];
    const DWORD n = ::GetTempPathA(sizeof base, base);
    if (n == 0 || n > MAX_PATH) return {};
    std::random_device seed;
    std::mt19937 pick(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = std::string(base, n) + prefix + std::to_string(pick() % 1000000000u);
        if (::CreateDirectoryA(name.c_str(), nullptr)) return name;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

bool changeDirectory(const std::string& folder, std::string* why) {
    if (::SetCurrentDirectoryA(folder.c_str())) return true;
    *why = lastError();
    return false;
}

}  // namespace zar::cli
