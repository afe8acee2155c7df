// zar's console on POSIX: descriptors 0 to 2, the terminal's settings and
// size, signals.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "console.h"

namespace zar::cli {
namespace {

void (*interruptHandler)() = nullptr;

void onSignal(int) {
    if (interruptHandler != nullptr) interruptHandler();
}

bool writeText(int fd, const std::string& text) {
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool readLine(int fd, std::string* line) {
    line->clear();
    char c;
    for (;;) {
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !line->empty();
        if (c == '\n') return true;
        *line += c;
    }
}

}  // namespace

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool stdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

int terminalWidth() {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

bool writeStandardOutput(const char* data, size_t size) {
    while (size != 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool readInputPiece(char* data, size_t size, size_t* got) {
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        *got = static_cast<size_t>(n);
        return true;
    }
}

namespace {

int askOnTerminal(const std::string& prompt, std::string* answer, bool hide) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return -1;
    struct termios saved;
    const bool canHide = hide && ::tcgetattr(tty, &saved) == 0;
    if (canHide) {
        struct termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const bool ok = writeText(tty, prompt) && readLine(tty, answer);
    if (canHide) ::tcsetattr(tty, TCSAFLUSH, &saved);
    if (hide) writeText(tty, "\n");
    ::close(tty);
    if (!answer->empty() && answer->back() == '\r') answer->pop_back();
    return ok ? 1 : 0;
}

}  // namespace

int askHidden(const std::string& prompt, std::string* answer) { return askOnTerminal(prompt, answer, true); }
int askShown(const std::string& prompt, std::string* answer) { return askOnTerminal(prompt, answer, false); }

void onInterrupt(void (*handler)()) {
    interruptHandler = handler;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: the library's file I/O must not fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void sayNow(const char* text, size_t size) { (void)!::write(STDERR_FILENO, text, size); }

void exitNow(int code) { ::_exit(code); }

std::string makePrivateDirectory(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) return {};
    return name.data();
}

bool changeDirectory(const std::string& folder, std::string* why) {
    if (::chdir(folder.c_str()) == 0) return true;
    *why = std::strerror(errno);
    return false;
}

}  // namespace zar::cli
