// zar's CPrint hook: the progress bar on a terminal, per-entry notices on
// stderr, and the questions the library asks: zar asks the overwrite question
// on the terminal itself (yes, no, All, None, cancel), the disk prompts go to
// the library's own dialog, and each gets a safe answer when there is nobody
// to ask. Also the signal handlers that turn Ctrl-C into a
// cancel request.
#pragma once

#include <cstdint>

#include "console.h"

namespace zar::cli {

struct ReportSettings {
    const char* entryWord = "";        // "extracting:" and the like, for verbose lines
    bool progress = false;             // draw the bar on stderr
    bool verbose = false;              // a line on stdout as each entry starts
    bool questionsOnTerminal = false;  // ask the questions on the terminal
    bool noPassword = false;           // encrypted entries meet no password: say so, not "wrong"
    uint64_t totalBytes = 0;           // bytes the whole run handles; 0 when unknown
};

struct ReportCounts {
    unsigned entries = 0;       // entries or files whose work began or that had a problem
    unsigned troubled = 0;      // of them, those with a problem reported
    unsigned keptExisting = 0;  // existing files kept: answered No, None, or no terminal to ask
    bool declinedPrompt = false;  // a disk prompt cancelled for want of a terminal
};

// Installs the hook with reporting on; call once before the first operation.
void startReporting(const ReportSettings& settings);
// Takes the bar off the screen; later reports draw nothing.
void stopReporting();
const ReportCounts& reportCounts();

// Ctrl-C, SIGTERM and SIGHUP ask the library to cancel; the run then ends with
// the cancelled code at the library's next check. A second one ends zar at once.
void cancelOnInterrupt();
bool interrupted();

// Whether stderr (for the bar) or stdin (for questions) is a terminal: console.h.

}  // namespace zar::cli
