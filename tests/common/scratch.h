// A scratch directory for one test, removed with everything in it afterwards.
#pragma once

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace zar::test {

// Removes `path` and everything below it, read-only files and folders too
// (which Windows will not delete as they are); quietly, whatever fails.
inline void removeTree(const std::string& path) {
    std::error_code ec;
    for (auto& entry : std::filesystem::recursive_directory_iterator(path, ec))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

class Scratch {
public:
    // A new directory "zartest-" and a number in the system's temporary
    // directory ($TMPDIR, else /tmp, on POSIX; %TEMP% on Windows).
    Scratch() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec) return;
        std::random_device seed;
        std::mt19937_64 pick(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("zartest-" + std::to_string(pick() % 1000000000000u));
            if (std::filesystem::create_directory(candidate, ec) && !ec) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::replace, ec);
                path_ = candidate.generic_string();  // '/' between the parts everywhere
            }
        }
    }
    ~Scratch() { removeTree(path_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        set(name, value);
    }
    ~ScopedEnv() { set(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void set(const char* name, const char* value) {
#ifdef _WIN32
        ::_putenv_s(name, value ? value : "");  // an empty value removes the variable
#else
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
#endif
    }
    std::string name_, old_;
    bool had_ = false;
};

// True when none of `dirs` holds a temporary file of the library (a name
// that starts with "AZR").
inline bool noTemporaryFiles(std::initializer_list<std::string> dirs) {
    for (const std::string& dir : dirs)
        for (auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.path().filename().string().rfind("AZR", 0) == 0) return false;
    return true;
}

// Points the system's temporary directory at `path` for one scope: TMPDIR on
// POSIX; TMP, which the system reads before TEMP, on Windows.
class ScopedTempDirectory {
public:
    explicit ScopedTempDirectory(const std::string& path) : env_(kVariable, path.c_str()) {}

private:
#ifdef _WIN32
    static constexpr const char* kVariable = "TMP";
#else
    static constexpr const char* kVariable = "TMPDIR";
#endif
    ScopedEnv env_;
};

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A file's last-write time in seconds since 1970.
inline time_t lastWriteSeconds(const std::string& path) {
    const auto t = std::filesystem::last_write_time(path);
    return std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(t));
}

// Sets a file's last-write time to `seconds` since 1970.
inline void setLastWriteSeconds(const std::string& path, time_t seconds) {
    std::filesystem::last_write_time(
        path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds)));
}

}  // namespace zar::test
