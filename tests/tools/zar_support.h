// Runs the zar binary as a subprocess, as people run it: with stdout and
// stderr captured apart and stdin from a string, or on a pseudo-terminal with
// answers typed when a prompt shows. Also the small tree most tests add.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/run.h"
#include "common/scratch.h"

namespace zar::test {

struct ZarRun {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

inline int statusOf(int wait) {
    if (WIFEXITED(wait)) return WEXITSTATUS(wait);
    if (WIFSIGNALED(wait)) return 128 + WTERMSIG(wait);
    return -1;
}

inline std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    static std::string program = ZAR_BINARY;
    argv.push_back(program.data());
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

inline std::string fileText(const std::string& path) {
    std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// zar ARGS in `directory`, neither stdin nor stdout nor stderr a terminal.
inline ZarRun zar(const std::string& directory, std::vector<std::string> args, const std::string& input = {}) {
    Scratch io;
    writeText(io / "in", input);
    std::vector<char*> argv = argvOf(args);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0) ::_exit(127);
        int in = ::open((io / "in").c_str(), O_RDONLY);
        int out = ::open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open((io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0), ::dup2(out, 1), ::dup2(err, 2);
        ::setsid();  // no controlling terminal: the library's dialog has nobody to ask
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int wait = 0;
    ::waitpid(pid, &wait, 0);
    return {statusOf(wait), fileText(io / "out"), fileText(io / "err")};
}

// zar ARGS on a pseudo-terminal: each time the transcript shows the next
// awaited text, its answer is typed. The transcript holds everything the
// terminal showed, answers echoed included.
struct TerminalRun {
    int status = -1;
    std::string transcript;
};

inline TerminalRun zarOnTerminal(const std::string& directory, std::vector<std::string> args,
                                 std::vector<std::pair<std::string, std::string>> answers = {}) {
    std::vector<char*> argv = argvOf(args);
    struct winsize size {};
    size.ws_col = 100;
    size.ws_row = 30;
    int master = -1;
    pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0) ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    TerminalRun run;
    size_t next = 0, seenUpTo = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        struct pollfd poller {master, POLLIN, 0};
        if (::poll(&poller, 1, 100) > 0) {
            char buffer[4096];
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the child closed the terminal
            run.transcript.append(buffer, static_cast<size_t>(n));
        }
        if (next < answers.size()) {
            size_t at = run.transcript.find(answers[next].first, seenUpTo);
            if (at != std::string::npos) {
                seenUpTo = at + answers[next].first.size();
                const std::string& typed = answers[next].second;
                if (::write(master, typed.data(), typed.size()) < 0) break;
                ++next;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            break;
        }
    }
    int wait = 0;
    ::waitpid(pid, &wait, 0);
    ::close(master);
    run.status = statusOf(wait);
    return run;
}

// A small tree: text at several depths, an empty file, an empty directory,
// a name with blanks, a hidden file and a compressible file of some size.
inline std::map<std::string, std::string> sampleTree() {
    std::string prose;
    for (int i = 0; prose.size() < 200000; ++i)
        prose += "line " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\n";
    return {
        {"tree/readme.txt", "read me first\n"},
        {"tree/notes with blanks.txt", "blanks are kept\n"},
        {"tree/empty.dat", ""},
        {"tree/.hidden", "hidden but archived\n"},
        {"tree/docs/guide.txt", "a guide\n"},
        {"tree/docs/big.txt", prose},
        {"tree/docs/deep/leaf.txt", "leaf\n"},
    };
}

inline void writeTree(const std::string& root, const std::map<std::string, std::string>& files) {
    for (const auto& [name, text] : files) {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
        writeText(root + "/" + name, text);
    }
}

// Every regular file under `root`, by its path relative to it, with its text.
inline std::map<std::string, std::string> readTree(const std::string& root) {
    std::map<std::string, std::string> files;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), root).string()] = fileText(entry.path().string());
    return files;
}

inline std::map<std::string, std::string> underPrefix(const std::map<std::string, std::string>& files,
                                                      const std::string& prefix) {
    std::map<std::string, std::string> out;
    for (const auto& [name, text] : files)
        if (name.rfind(prefix, 0) == 0) out[name.substr(prefix.size())] = text;
    return out;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace zar::test
