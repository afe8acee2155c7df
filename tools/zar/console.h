// What zar needs of the system beside the library: the terminal, standard
// input and output as bytes, interrupts, a private scratch folder and the
// current folder. console_posix.cpp and console_win32.cpp provide it.
#pragma once

#include <cstddef>
#include <string>

namespace zar::cli {

bool stderrIsTerminal();
bool stdinIsTerminal();
// Columns of the terminal standard error goes to; 80 when it cannot tell.
int terminalWidth();

// Writes all of `size` bytes to standard output, unchanged; false on failure.
bool writeStandardOutput(const char* data, size_t size);
// Reads up to `size` bytes of standard input, unchanged: how many in `*got`,
// 0 at its end. False when reading fails.
bool readInputPiece(char* data, size_t size, size_t* got);

// Asks on the terminal with echo off, the previous settings restored
// afterwards. 1 with an answer, 0 when none came, -1 without a terminal.
int askHidden(const std::string& prompt, std::string* answer);
// The same with echo on, for questions whose answer may be seen.
int askShown(const std::string& prompt, std::string* answer);

// Calls `handler` at each interrupt of the user (Ctrl-C; on POSIX also
// SIGTERM and SIGHUP). It runs in a signal handler or a thread of its own:
// it may only set flags, call Ax4Cancel and use the two calls below.
void onInterrupt(void (*handler)());
// Writes `text` to standard error at once, from an interrupt handler.
void sayNow(const char* text, size_t size);
// Ends the process at once with `code`.
[[noreturn]] void exitNow(int code);

// Makes a new folder that only the user may enter, in the temporary folder,
// its name beginning with `prefix`; empty on failure.
std::string makePrivateDirectory(const char* prefix);

// Makes `folder` the current folder; false (and why in `*why`) on failure.
bool changeDirectory(const std::string& folder, std::string* why);

}  // namespace zar::cli
