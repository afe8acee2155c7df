#include "reporter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "console.h"
#include "results.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct State {
    ReportSettings settings;
    ReportCounts counts;
    std::string current;  // the entry or file in hand
    bool started = false;
    uint32_t currentTotal = 0, currentDone = 0;
    uint64_t completed = 0;  // bytes of the entries finished before it
    bool barShown = false;
    Clock::time_point lastDraw;
    bool toldKept = false;
    bool replaceAll = false;  // "All": every later file is overwritten
    bool keepAll = false;     // "None": every later file is kept
    std::set<std::string> seen;      // entries that began or had a problem
    std::set<std::string> troubled;  // entries that had a problem
};

State state;
volatile std::sig_atomic_t interrupts = 0;
volatile std::sig_atomic_t inDialog = 0;

// The library shows names with '\' separators; zar shows '/' and keeps
// control characters off the terminal.
std::string displayName(const char* field, size_t size) {
    std::string name(field, strnlen(field, size));
    for (char& c : name) {
        if (c == '\\') c = '/';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return name;
}

const char* noticeText(int16_t code, int16_t operation) {
    // The library's own texts. Adding files, the library passes over a
    // symbolic link that leads back into the folders being added (access
    // denied) or nowhere (not found).
    const bool adding = operation == AX_OP_ZIPPING;
    switch (code) {
        case AX_CRC_MISMATCH: return ": CRC mismatch. File may have error.";
        case AX_WRONG_PASSWORD: return ": wrong password. Skipping file.";
        case AX_UNKNOWN_METHOD: return ": unknown compression method. Skipping file.";
        case AX_ACCESS_DENIED:
            return adding ? ": a link that leads back into the folders being added. Skipping it."
                          : ": access denied. Skipping file.";
        case AX_PATH_NOT_FOUND: return adding ? ": a link that leads nowhere. Skipping it." : ": not found. Skipping file.";
        default: return nullptr;
    }
}

// Characters a terminal shows for UTF-8 text, near enough: one per code point.
size_t shownWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(),
                                             [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The tail of a name that fits `width` characters, marked with "..." when cut.
std::string fitName(const std::string& name, size_t width) {
    if (shownWidth(name) <= width) return name;
    if (width <= 3) return std::string(width, '.');
    size_t keep = width - 3, at = name.size();
    while (at > 0 && keep > 0) {
        --at;
        if ((static_cast<unsigned char>(name[at]) & 0xC0) != 0x80) --keep;
    }
    return "..." + name.substr(at);
}

std::string bar(double fraction, int width) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = static_cast<int>(fraction * width + 0.5);
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] " + percent;
}

void clearBar() {
    if (!state.barShown) return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    state.barShown = false;
}

void draw(bool force) {
    if (!state.settings.progress) return;
    const Clock::time_point now = Clock::now();
    if (!force && now - state.lastDraw < std::chrono::milliseconds(100)) return;
    state.lastDraw = now;

    const double file = state.currentTotal == 0 ? 1.0 : double(state.currentDone) / state.currentTotal;
    std::string line = bar(file, 10);
    if (state.settings.totalBytes != 0) {
        line += "  all " + bar(double(state.completed + state.currentDone) / double(state.settings.totalBytes), 10);
    } else {
        line += "  #" + std::to_string(state.counts.entries);
    }
    line += "  ";
    const size_t width = static_cast<size_t>(terminalWidth() - 1);
    if (line.size() < width) line += fitName(state.current, width - line.size());
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    state.barShown = true;
}

void onProgress(const std::string& name, uint32_t total, uint32_t done) {
    if (!state.started || name != state.current) {
        if (state.started) state.completed += state.currentTotal;
        state.started = true;
        state.current = name;
        state.seen.insert(name);
        state.counts.entries = static_cast<unsigned>(state.seen.size());
        if (state.settings.verbose) {
            clearBar();
            std::printf("%s %s\n", state.settings.entryWord, name.c_str());
            std::fflush(stdout);
        }
        state.currentTotal = total;
        state.currentDone = done;
        draw(true);
        return;
    }
    state.currentTotal = total;
    state.currentDone = done;
    draw(done >= total);
}

void onNotice(const std::string& name, int16_t code, int16_t operation) {
    state.seen.insert(name);
    state.troubled.insert(name);
    state.counts.entries = static_cast<unsigned>(state.seen.size());
    state.counts.troubled = static_cast<unsigned>(state.troubled.size());
    clearBar();
    if (code == AX_WRONG_PASSWORD && state.settings.noPassword) {
        complain(name + ": encrypted, and no password was given (-p PASSWORD, or --ask-password). Skipping file.");
    } else if (const char* text = noticeText(code, operation)) {
        complain(name + text);
    } else {
        complain(name + ": " + explainResult(code) + " (code " + std::to_string(code) + ")");
    }
}

// The overwrite question, asked by zar itself: yes, no, All (this and every
// later one), None (keep this and every later one) or cancel. Upper and
// lower case tell "All" and "None" from "yes" and "no", as unzip does.
int16_t askOverwrite(const StatusRecord& record, const std::string& name) {
    if (state.replaceAll) return AX_ANSWER_YES;
    if (state.keepAll) {
        ++state.counts.keptExisting;
        return AX_ANSWER_NO;
    }
    const std::string question =
        name + (record.operation == AX_OP_ZIPPING ? ": an entry of this name is in the archive. Replace it?"
                                                  : ": file already exists. Overwrite it?") +
        " [y]es, [n]o, [A]ll, [N]one, [c]ancel: ";
    int16_t answer = AX_ANSWER_CANCEL;
    inDialog = 1;
    for (;;) {
        std::string line;
        if (askShown(question, &line) <= 0) break;
        if (line == "y" || line == "Y" || line == "yes") answer = AX_ANSWER_YES;
        else if (line == "n" || line == "no") answer = AX_ANSWER_NO;
        else if (line == "A" || line == "All" || line == "all") answer = AX_ANSWER_YES_TO_ALL;
        else if (line == "N" || line == "None" || line == "none") {
            state.keepAll = true;
            answer = AX_ANSWER_NO;
        } else if (line == "c" || line == "C" || line == "cancel") answer = AX_ANSWER_CANCEL;
        else continue;
        break;
    }
    inDialog = 0;
    if (answer == AX_ANSWER_YES_TO_ALL) state.replaceAll = true;
    if (answer == AX_ANSWER_NO) ++state.counts.keptExisting;
    return answer;
}

int16_t onQuestion(const StatusRecord& record, const std::string& name) {
    clearBar();
    if (state.settings.questionsOnTerminal && record.code == AX_ASK_FILE_EXISTS) return askOverwrite(record, name);
    if (state.settings.questionsOnTerminal) {
        // The library asks on the terminal with its own texts; the next
        // report, whatever it is, comes after the answer.
        inDialog = 1;
        return AX_USE_BUILTIN_DIALOG;
    }
    if (record.code == AX_ASK_FILE_EXISTS) {
        ++state.counts.keptExisting;
        if (!state.toldKept) {
            state.toldKept = true;
            complain(name + (record.operation == AX_OP_ZIPPING
                                 ? ": an entry of this name exists; kept it (no terminal to ask)"
                                 : ": file already exists; kept it (no terminal to ask: use --overwrite or "
                                   "--skip-existing)"));
        }
        return AX_ANSWER_NO;
    }
    state.counts.declinedPrompt = true;
    complain(record.code == AX_ASK_INSERT_DISK
                 ? "the archive needs disk " + std::to_string(record.disk) + ", and there is no terminal to ask for it"
                 : std::string("the archive needs its last disk (the one with its directory), and there is no "
                               "terminal to ask for it"));
    return AX_ANSWER_CANCEL;
}

int16_t AXAPI onStatus(StatusRecord record) {
    inDialog = 0;
    const std::string name = displayName(record.entryName, sizeof record.entryName);
    switch (record.kind) {
        case AX_STATUS_PROGRESS: onProgress(name, record.totalBytes, record.doneBytes); return AX_ANSWER_OK;
        case AX_STATUS_NOTICE: onNotice(name, record.code, record.operation); return AX_ANSWER_OK;
        case AX_STATUS_QUESTION: return onQuestion(record, name);
        default: return AX_ANSWER_OK;
    }
}

void onUserInterrupt() {
    Ax4Cancel();
    interrupts = interrupts + 1;
    if (interrupts >= 2) {
        static const char kStop[] = "\nzar: stopped at once\n";
        sayNow(kStop, sizeof kStop - 1);
        exitNow(kExitCancelled);
    }
    if (inDialog) {
        static const char kHint[] =
            "\nzar: cancelling: answer the question to finish, or press Ctrl-C again to stop at once\n";
        sayNow(kHint, sizeof kHint - 1);
    }
}

}  // namespace

void startReporting(const ReportSettings& settings) {
    state = State{};
    state.settings = settings;
    Ax4SetCPrint(1);
    Ax4CPrintHook(onStatus);
}

void stopReporting() {
    clearBar();
    state.settings.progress = false;
    inDialog = 0;
}

const ReportCounts& reportCounts() { return state.counts; }

void cancelOnInterrupt() { onInterrupt(onUserInterrupt); }

bool interrupted() { return interrupts != 0; }


}  // namespace zar::cli
