#include "password.h"

#include <iostream>

#include "compose.h"
#include "console.h"

namespace zar::cli {
namespace {

bool fail(std::string* error, const char* text) {
    *error = text;
    return false;
}

// The library keeps at most 127 characters of a password.
constexpr size_t kLongestPassword = 127;

bool ask(bool confirm, std::string* password, std::string* error) {
    if (!stdinIsTerminal()) {
        if (!std::getline(std::cin, *password)) return fail(error, "no password on stdin");
        if (!password->empty() && password->back() == '\r') password->pop_back();
        return true;
    }
    int answered = askHidden("Password: ", password);
    if (answered < 0) return fail(error, "no terminal to ask for the password");
    if (answered > 0 && confirm) {
        std::string again;
        answered = askHidden("Password again: ", &again);
        if (answered > 0 && again != *password) return fail(error, "the two passwords differ");
    }
    if (answered <= 0) return fail(error, "no password was given");
    return true;
}

}  // namespace

bool askPasswordFor(const std::string& firstEncrypted, std::string* password) {
    password->clear();
    if (!stdinIsTerminal()) return false;
    const bool ok = askHidden(firstEncrypted + " is encrypted. Password: ", password) > 0;
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
