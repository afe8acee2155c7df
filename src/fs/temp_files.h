// The library's temporary files and the registry that remembers them (and the
// archives that are open), so that file selection never picks them up. The
// registry is one string of full paths, each in double quotes, separated by
// one blank; it is absent (empty) when nothing is registered.
#pragma once

#include <string>

#include "frame/result.h"

namespace zar::fs {

// Makes a new empty file with the prefix "AZR" in `directory` (empty: the
// temporary directory) and registers it. Returns its name, empty on failure.
// The caller unregisters and deletes it when done (TempFile does both).
std::string makeTempFile(const std::string& directory = "");

// Adds the full path of `name`: kOk, kPathNotFound for an empty name, kNoMemory.
Result registerTempFile(const char* name);
// Removes every entry equal to the full path of `name` (compared as the file
// system compares names, see sameFileName); an unknown name leaves the
// registry as it was. kOk or kNoMemory.
Result unregisterTempFile(const char* name);
// True when the full path of `name` is registered: where case tells names
// apart, "A.ZIP" is not the registered "a.zip".
bool isRegisteredTempFile(const char* name);
// The registry text itself.
const std::string& tempRegistry();

// A registered temporary file that is unregistered and deleted on every exit path.
class TempFile {
public:
    TempFile() = default;
    static TempFile make(const std::string& directory = "") { return TempFile(makeTempFile(directory)); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept : name_(std::move(other.name_)) { other.name_.clear(); }
    TempFile& operator=(TempFile&& other) noexcept;
    ~TempFile() { remove(); }

    bool valid() const { return !name_.empty(); }
    const std::string& name() const { return name_; }
    // Unregisters and deletes the file now.
    void remove();
    // Gives up ownership: the file stays, still registered.
    std::string release();

private:
    explicit TempFile(std::string name) : name_(std::move(name)) {}
    std::string name_;
};

}  // namespace zar::fs
