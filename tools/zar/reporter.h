// zar's CPrint hook: the progress bar on a terminal, per-entry notices on
// stderr, and the questions the library asks (overwrite, insert disk), which
// go to the library's own dialog on the terminal or get a safe answer when
// there is nobody to ask. Also the interrupt handler that turns Ctrl-C into a
// cancel request.
#pragma once

#include <cstdint>

#include "console.h"

namespace zar::cli {

struct ReportSettings {
    const char* entryWord = "";        // "extracting:" and the like, for verbose lines
    bool progress = false;             // draw the bar on stderr
    bool verbose = false;              // a line on stdout as each entry starts
    bool questionsOnTerminal = false;  // hand questions to the library's dialog
    uint64_t totalBytes = 0;           // bytes the whole run handles; 0 when unknown
};

struct ReportCounts {
    unsigned entries = 0;       // entries or files whose work began or that had a problem
    unsigned troubled = 0;      // of them, those with a problem reported
    unsigned keptExisting = 0;  // overwrite questions answered No for want of a terminal
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
