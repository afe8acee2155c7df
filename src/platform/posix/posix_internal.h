// Helpers shared by the files of the POSIX backend.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace zar::platform::posix {

// The name as the file system takes it: '\' separators become '/'.
std::string osName(const char* name);

// The DOS attribute bits of the item at `path` (an OS name) whose status is `st`.
uint32_t dosAttributes(const std::string& path, const struct stat& st);

// Gives the item at `path` the permission bits and the stored DOS bits of the
// item at `model` (OS names); true when `model` does not exist, false when the
// permissions cannot be set. The DOS bits are copied where the file system
// keeps them.
bool takeAttributes(const std::string& path, const std::string& model);

// The same for the open file `fd`.
bool takeAttributes(int fd, const std::string& model);

// Stores the DOS bits of `attributes` that only an extended attribute keeps on
// the new file `fd`, which has none yet: nothing when they are the default.
// False when they cannot be stored where the file system keeps them.
bool storeNewFileBits(int fd, uint32_t attributes);

// The mode a new file is created with: `permissions`, or read and write for
// all (read only with the read-only attribute) for kPermissionsFromAttributes.
uint32_t creationMode(uint32_t attributes, uint32_t permissions);

// `base` followed by six letters or digits, a new choice at every call: a
// candidate for a unique name, which clashes only with a file left by another
// run or process.
std::string uniqueName(const std::string& base);

// A POSIX time as a file time (100 ns ticks since 1601, UTC).
uint64_t toFileTime(const struct timespec& ts);

// True when a test asked this call of `kind` to fail (see failNthCall).
bool faultNow(Fault kind);

// The dialog a test put in place of the terminal, or null.
DialogOverride dialogOverride();

// True while a test refuses anonymous files (see refuseAnonymousFiles).
bool anonymousFilesRefused();

// Tests reach the second way of naming an anonymous file, the one through
// /proc/self/fd that kernels which keep linkat's AT_EMPTY_PATH to privileged
// callers leave: while set, the first way is not tried.
void nameThroughProcOnly(bool only);
bool namingThroughProcOnly();

}  // namespace zar::platform::posix
