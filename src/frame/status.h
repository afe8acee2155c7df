// The status dispatcher: every report of every operation goes through report(),
// which answers from fixed defaults (reporting off), the host's hook, or the
// built-in message boxes.
#pragma once

#include <cstdint>

#include "zarlib32.h"

namespace zar::frame {

inline constexpr int16_t kNotice = 0;
inline constexpr int16_t kQuestion = 1;
inline constexpr int16_t kProgress = 2;

inline constexpr int16_t kAskInsertDisk = 1;
inline constexpr int16_t kAskFileExists = 2;
inline constexpr int16_t kAskLastDisk = 3;

inline constexpr int16_t kAnswerOk = 1;
inline constexpr int16_t kAnswerCancel = 2;
inline constexpr int16_t kAnswerYes = 6;
inline constexpr int16_t kAnswerNo = 7;
inline constexpr int16_t kAnswerYesToAll = 106;

// Reports what the status record describes. The caller has stored the entry
// name, operation and the size fields it owns; report() sets kind, code and
// (for disk questions) disk, and returns the 16-bit answer.
int16_t report(int16_t kind, int16_t code, int16_t disk = 0);

// Puts `text` into one of the record's name fields, cut to fit with its NUL.
void setNameField(char (&field)[260], const char* text);

// The built-in message box for a report, on a record whose separators are
// already '\'. Without any way to show a box it answers like reporting off.
int16_t builtInDialog(const StatusRecord& record);

// The answer a report gets when nobody is asked.
int16_t fixedAnswer(int16_t kind, int16_t code);

}  // namespace zar::frame
