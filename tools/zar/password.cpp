#include "password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "compose.h"

namespace zar::cli {
namespace {

bool fail(std::string* error, const char* text) {
    *error = text;
    return false;
}

// The library keeps at most 127 characters of a password.
constexpr size_t kLongestPassword = 127;

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

// Asks on the terminal with echo off; the previous settings come back.
bool askTerminal(int tty, const std::string& prompt, std::string* answer) {
    struct termios saved;
    const bool canHide = ::tcgetattr(tty, &saved) == 0;
    if (canHide) {
        struct termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const bool ok = writeText(tty, prompt) && readLine(tty, answer);
    if (canHide) ::tcsetattr(tty, TCSAFLUSH, &saved);
    writeText(tty, "\n");
    if (!answer->empty() && answer->back() == '\r') answer->pop_back();
    return ok;
}

bool ask(bool confirm, std::string* password, std::string* error) {
    if (::isatty(STDIN_FILENO) != 1) {
        if (!std::getline(std::cin, *password)) return fail(error, "no password on stdin");
        if (!password->empty() && password->back() == '\r') password->pop_back();
        return true;
    }
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return fail(error, "no terminal to ask for the password");
    std::string again;
    bool ok = askTerminal(tty, "Password: ", password);
    if (ok && confirm) {
        ok = askTerminal(tty, "Password again: ", &again);
        if (ok && again != *password) {
            ::close(tty);
            return fail(error, "the two passwords differ");
        }
    }
    ::close(tty);
    if (!ok) return fail(error, "no password was given");
    return true;
}

}  // namespace

bool askPasswordFor(const std::string& firstEncrypted, std::string* password) {
    password->clear();
    if (::isatty(STDIN_FILENO) != 1) return false;
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return false;
    const bool ok = askTerminal(tty, firstEncrypted + " is encrypted. Password: ", password);
    ::close(tty);
    if (!ok || password->empty() || password->size() > kLongestPassword || passwordOption(*password).empty()) {
        password->clear();
        return false;
    }
    return true;
}

bool obtainPassword(const Options& options, bool confirm, std::string* password, std::string* error) {
    password->clear();
    if (options.passwordGiven) *password = options.password;
    else if (options.askPassword && !ask(confirm, password, error)) return false;
    if (!options.passwordGiven && !options.askPassword) return true;
    if (password->empty()) return fail(error, "the password is empty");
    if (password->size() > kLongestPassword) return fail(error, "the password is longer than 127 characters");
    if (passwordOption(*password).empty())
        return fail(error, "the password holds every delimiter zar can quote it with");
    return true;
}

}  // namespace zar::cli
