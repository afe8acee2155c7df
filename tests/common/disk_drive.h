// A removable drive for tests of multi-volume sets: a directory named in
// ZARLIB_REMOVABLE plays the drive (its label in ".volume-label"), and a shelf
// of directories holds the disks that are not in it. A status hook installed
// by the drive answers the library's disk questions by swapping the disk asked
// for into the drive, and records every question it saw.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/scratch.h"
#include "zarlib32.h"

namespace zar::test {

class DiskDrive {
public:
    // One question as the hook saw it: its code (1 insert disk, 3 insert the
    // last disk) and the disk number.
    struct Prompt {
        int code;
        int disk;
        bool operator==(const Prompt&) const = default;
    };
    // What the hook does with a disk question: by default it inserts the disk
    // asked for (or, for the last disk, the highest disk on the shelf) and
    // answers 1. A test replaces it to insert the wrong disk or to cancel.
    using Policy = std::function<int16_t(DiskDrive& drive, const Prompt& prompt)>;

    explicit DiskDrive(const std::string& base)
        : root_(base + "/drive"), shelf_(base + "/shelf"), env_("ZARLIB_REMOVABLE", root_.c_str()) {
        std::filesystem::create_directories(root_);
        std::filesystem::create_directories(shelf_);
        active() = this;
        Ax4SetCPrint(1);
        Ax4CPrintHook(&DiskDrive::hook);
    }
    ~DiskDrive() {
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        active() = nullptr;
    }
    DiskDrive(const DiskDrive&) = delete;
    DiskDrive& operator=(const DiskDrive&) = delete;

    const std::string& root() const { return root_; }
    std::string operator/(const std::string& name) const { return root_ + "/" + name; }
    int current() const { return current_; }
    const std::vector<Prompt>& prompts() const { return prompts_; }
    void clearPrompts() { prompts_.clear(); }
    void setPolicy(Policy policy) { policy_ = std::move(policy); }

    // Takes the disk in the drive out to its place on the shelf and puts
    // disk `n` in (a blank one when the shelf has none).
    void insert(int n) {
        namespace fsys = std::filesystem;
        const std::string out = slot(current_);
        fsys::remove_all(out);
        fsys::create_directories(out);
        for (const auto& item : fsys::directory_iterator(root_)) fsys::rename(item.path(), out / item.path().filename());
        const std::string in = slot(n);
        if (fsys::exists(in))
            for (const auto& item : fsys::directory_iterator(in)) fsys::rename(item.path(), root_ / item.path().filename());
        fsys::remove_all(in);
        current_ = n;
    }

    // The directory that holds disk `n` while it is out of the drive.
    std::filesystem::path slot(int n) const { return std::filesystem::path(shelf_) / std::to_string(n); }

    // The file `name` of disk `n`, wherever the disk is.
    std::string fileOn(int n, const std::string& name) const {
        return (n == current_ ? std::filesystem::path(root_) : slot(n)) / name;
    }

    // The highest disk number written so far, in the drive or on the shelf.
    int highestDisk() const {
        int highest = current_;
        for (const auto& item : std::filesystem::directory_iterator(shelf_)) highest = std::max(highest, std::stoi(item.path().filename()));
        return highest;
    }

private:
    static DiskDrive*& active() {
        static DiskDrive* drive = nullptr;
        return drive;
    }

    static int16_t AXAPI hook(StatusRecord record) {
        DiskDrive* drive = active();
        if (drive == nullptr || record.kind != AX_STATUS_QUESTION || (record.code != 1 && record.code != 3)) return 1;
        Prompt prompt{record.code, record.disk};
        drive->prompts_.push_back(prompt);
        if (drive->policy_) return drive->policy_(*drive, prompt);
        drive->insert(prompt.code == 3 ? drive->highestDisk() : prompt.disk);
        return 1;
    }

    std::string root_, shelf_;
    ScopedEnv env_;
    int current_ = 1;
    std::vector<Prompt> prompts_;
    Policy policy_;
};

}  // namespace zar::test
