#include "args.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace zar::cli {
namespace {

bool fail(std::string* error, const char* text) {
    *error = text;
    return false;
}

enum class Flag {
    Help, Quiet, Verbose, NoProgress, Password, AskPassword, Exclude, RawOptions, NamesOnly, OutputDir,
    Overwrite, SkipExisting, FreshenExisting, UpdateExisting, Flat, Recurse, Level, ChangeDir, NoHidden,
    LatestTime, KeepTime, Interactive, Entry, CommentFile, Clear, Stdout, StdinName, Output, PartSize, CutLines,
    EndMark, VolumeSize, VolumeKind
};

struct FlagInfo {
    Flag flag;
    char shortName;  // 0: none
    const char* longName;
    bool takesValue;
};

constexpr FlagInfo kFlags[] = {
    {Flag::Help, 'h', "help", false},
    {Flag::Quiet, 'q', "quiet", false},
    {Flag::Verbose, 'v', "verbose", false},
    {Flag::NoProgress, 0, "no-progress", false},
    {Flag::Password, 'p', "password", true},
    {Flag::AskPassword, 0, "ask-password", false},
    {Flag::Exclude, 'x', "exclude", true},
    {Flag::RawOptions, 0, "options", true},
    {Flag::NamesOnly, '1', "names", false},
    {Flag::OutputDir, 'd', "dir", true},
    {Flag::Overwrite, 'o', "overwrite", false},
    {Flag::SkipExisting, 'n', "skip-existing", false},
    {Flag::FreshenExisting, 0, "freshen", false},
    {Flag::UpdateExisting, 0, "update", false},
    {Flag::Flat, 'j', "flat", false},
    {Flag::Recurse, 'r', "recurse", false},
    {Flag::Level, 0, "level", true},
    {Flag::ChangeDir, 'C', "cd", true},
    {Flag::NoHidden, 0, "no-hidden", false},
    {Flag::LatestTime, 0, "latest-time", false},
    {Flag::KeepTime, 0, "keep-time", false},
    {Flag::Interactive, 'i', "interactive", false},
    {Flag::Entry, 'e', "entry", true},
    {Flag::CommentFile, 'F', "file", true},
    {Flag::Clear, 0, "clear", false},
    {Flag::Stdout, 'c', "stdout", false},
    {Flag::StdinName, 0, "name", true},
    {Flag::Output, 'o', "output", true},
    {Flag::PartSize, 0, "part-size", true},
    {Flag::CutLines, 0, "cut-lines", false},
    {Flag::EndMark, 0, "end-mark", false},
    {Flag::VolumeSize, 0, "volume-size", true},
    {Flag::VolumeKind, 0, "volume-kind", true},
};

struct VerbInfo {
    Verb verb;
    const char* names[2];  // the full name, then the short one
    std::vector<Flag> flags;
};

const VerbInfo kVerbs[] = {
    {Verb::List, {"list", "l"}, {Flag::Help, Flag::Exclude, Flag::NamesOnly}},
    {Verb::Test, {"test", "t"},
     {Flag::Help, Flag::Quiet, Flag::Verbose, Flag::NoProgress, Flag::Password, Flag::AskPassword, Flag::Exclude,
      Flag::RawOptions}},
    {Verb::Extract, {"extract", "x"},
     {Flag::Help, Flag::Quiet, Flag::Verbose, Flag::NoProgress, Flag::Password, Flag::AskPassword, Flag::Exclude,
      Flag::RawOptions, Flag::OutputDir, Flag::Overwrite, Flag::SkipExisting, Flag::FreshenExisting,
      Flag::UpdateExisting, Flag::Flat, Flag::Stdout}},
    {Verb::Add, {"add", "a"}, {}},
    {Verb::Update, {"update", "u"}, {}},
    {Verb::Freshen, {"freshen", "f"}, {}},
    {Verb::Move, {"move", "m"}, {}},
    {Verb::Delete, {"delete", "d"},
     {Flag::Help, Flag::Quiet, Flag::Verbose, Flag::Exclude, Flag::RawOptions, Flag::LatestTime, Flag::KeepTime}},
    {Verb::Comment, {"comment", "c"}, {Flag::Help, Flag::Entry, Flag::CommentFile, Flag::Clear}},
    {Verb::Identify, {"identify", "id"}, {Flag::Help}},
    {Verb::Rename, {"rename", "rn"}, {Flag::Help, Flag::Quiet, Flag::Verbose, Flag::Output}},
    {Verb::UuEncode, {"uuencode", "uue"}, {Flag::Help, Flag::Quiet, Flag::Output, Flag::PartSize, Flag::CutLines}},
    {Verb::UuDecode, {"uudecode", "uud"}, {Flag::Help, Flag::Quiet, Flag::OutputDir}},
    {Verb::ToDos, {"to-dos", "unix2dos"}, {Flag::Help, Flag::Quiet, Flag::Output, Flag::EndMark}},
    {Verb::ToUnix, {"to-unix", "dos2unix"}, {Flag::Help, Flag::Quiet, Flag::Output}},
};

// The four writing verbs share their flags.
constexpr Flag kWriteFlags[] = {Flag::Help,      Flag::Quiet,       Flag::Verbose,   Flag::NoProgress,
                                Flag::Password,  Flag::AskPassword, Flag::Exclude,   Flag::RawOptions,
                                Flag::Flat,      Flag::Recurse,     Flag::Level,     Flag::ChangeDir,
                                Flag::NoHidden,  Flag::LatestTime,  Flag::KeepTime,  Flag::Interactive,
                                Flag::StdinName, Flag::VolumeSize,  Flag::VolumeKind};

bool isWriteVerb(Verb verb) {
    return verb == Verb::Add || verb == Verb::Update || verb == Verb::Freshen || verb == Verb::Move;
}

bool allows(const VerbInfo& verb, Flag flag) {
    if (isWriteVerb(verb.verb)) {
        for (Flag f : kWriteFlags)
            if (f == flag) return true;
        return false;
    }
    for (Flag f : verb.flags)
        if (f == flag) return true;
    return false;
}

const VerbInfo* findVerb(std::string_view name) {
    for (const VerbInfo& verb : kVerbs)
        for (const char* alias : verb.names)
            if (alias != nullptr && name == alias) return &verb;
    return nullptr;
}

// The flag a letter stands for: one letter may mean different flags to
// different verbs (-o is --overwrite to extract, --output to the others).
const FlagInfo* findShort(const VerbInfo& verb, char c) {
    const FlagInfo* found = nullptr;
    for (const FlagInfo& info : kFlags)
        if (info.shortName == c && (found == nullptr || allows(verb, info.flag))) found = &info;
    return found;
}

const FlagInfo* findLong(std::string_view name) {
    for (const FlagInfo& info : kFlags)
        if (name == info.longName) return &info;
    return nullptr;
}

bool setExisting(Options* options, Existing existing, std::string* error) {
    if (options->existing != Existing::Ask && options->existing != existing) {
        *error = "choose one of --overwrite, --skip-existing, --freshen and --update";
        return false;
    }
    options->existing = existing;
    return true;
}

bool setLevel(Options* options, std::string_view text, std::string* error) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '9') {
        *error = "the level is a digit from 0 (store) to 9 (best)";
        return false;
    }
    if (options->level >= 0 && options->level != text[0] - '0') {
        *error = "give one compression level";
        return false;
    }
    options->level = text[0] - '0';
    return true;
}

// A size as people write it: bytes, or with k, m or g after the number; 0
// when it is none.
uint64_t parseSize(const std::string& text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    uint64_t size = digits == 0 || digits > 10 ? 0 : std::stoull(text.substr(0, digits));
    const std::string unit = text.substr(digits);
    if (unit == "k" || unit == "K") size <<= 10;
    else if (unit == "m" || unit == "M") size <<= 20;
    else if (unit == "g" || unit == "G") size <<= 30;
    else if (!unit.empty()) size = 0;
    return size;
}

bool setPartSize(Options* options, const std::string& text, std::string* error) {
    const uint64_t size = parseSize(text);
    if (size < 2048 || size > 0x7FFFFFFF) {
        *error = "--part-size takes a size from 2k to 2047m, such as 64k or 1m";
        return false;
    }
    options->partSize = static_cast<uint32_t>(size);
    return true;
}

bool setVolumeSize(Options* options, const std::string& text, std::string* error) {
    const uint64_t size = parseSize(text);
    if (size < 1024 || size > 0xFFFFFFFFu) {
        *error = "--volume-size takes a size from 1k to 4095m, such as 1440k or 100m";
        return false;
    }
    options->volumeSize = static_cast<uint32_t>(size);
    return true;
}

bool setVolumeKind(Options* options, const std::string& text, std::string* error) {
    if (text == "spanned") options->volumeKind = 3;
    else if (text == "directory-first") options->volumeKind = 4;
    else if (text == "numbered") options->volumeKind = 2;
    else if (text == "single-file") options->volumeKind = 10;
    else {
        *error = "--volume-kind is spanned, directory-first, numbered or single-file";
        return false;
    }
    return true;
}

bool apply(Options* options, Flag flag, const std::string& value, std::string* error) {
    switch (flag) {
        case Flag::Help: options->help = true; break;
        case Flag::Quiet: options->quiet = true; break;
        case Flag::Verbose: options->verbose = true; break;
        case Flag::NoProgress: options->noProgress = true; break;
        case Flag::Password:
            options->password = value;
            options->passwordGiven = true;
            break;
        case Flag::AskPassword: options->askPassword = true; break;
        case Flag::Exclude: options->excludes.push_back(value); break;
        case Flag::RawOptions:
            if (!options->rawOptions.empty()) options->rawOptions += ' ';
            options->rawOptions += value;
            break;
        case Flag::NamesOnly: options->namesOnly = true; break;
        case Flag::OutputDir: options->outputDir = value; break;
        case Flag::Overwrite: return setExisting(options, Existing::Overwrite, error);
        case Flag::SkipExisting: return setExisting(options, Existing::Skip, error);
        case Flag::FreshenExisting: return setExisting(options, Existing::Freshen, error);
        case Flag::UpdateExisting: return setExisting(options, Existing::Update, error);
        case Flag::Flat: options->flat = true; break;
        case Flag::Recurse: options->recurse = true; break;
        case Flag::Level: return setLevel(options, value, error);
        case Flag::ChangeDir: options->changeDir = value; break;
        case Flag::NoHidden: options->noHidden = true; break;
        case Flag::LatestTime: options->latestTime = true; break;
        case Flag::KeepTime: options->keepTime = true; break;
        case Flag::Interactive: options->interactive = true; break;
        case Flag::Entry: options->entryPatterns.push_back(value); break;
        case Flag::CommentFile: options->commentFile = value; break;
        case Flag::Clear: options->clear = true; break;
        case Flag::Stdout: options->toStdout = true; break;
        case Flag::StdinName:
            options->stdinName = value;
            options->stdinNameGiven = true;
            break;
        case Flag::Output: options->outputFile = value; break;
        case Flag::PartSize: return setPartSize(options, value, error);
        case Flag::CutLines: options->cutLines = true; break;
        case Flag::EndMark: options->endMark = true; break;
        case Flag::VolumeSize: return setVolumeSize(options, value, error);
        case Flag::VolumeKind: return setVolumeKind(options, value, error);
    }
    return true;
}

std::string flagName(const FlagInfo& info) { return std::string("--") + info.longName; }

// The operands and combinations each verb needs, checked once all is read.
bool checkOptions(const Options& o, std::string* error) {
    const size_t n = o.operands.size();
    if (o.quiet && o.verbose) return fail(error, "--quiet and --verbose exclude each other");
    if (o.passwordGiven && o.askPassword) return fail(error, "give --password or --ask-password, not both");
    if (o.passwordGiven && o.password.empty()) return fail(error, "the password is empty");
    if (o.latestTime && o.keepTime) return fail(error, "--latest-time and --keep-time exclude each other");
    switch (o.verb) {
        case Verb::List:
        case Verb::Test:
            if (n == 0) return fail(error, "name the archive");
            break;
        case Verb::Extract:
            if (n == 0) return fail(error, "name the archive");
            if (o.toStdout && (!o.outputDir.empty() || o.existing != Existing::Ask || o.flat))
                return fail(error, "--stdout writes no files: --dir, --flat and the overwrite choices do not apply");
            break;
        case Verb::Add:
        case Verb::Update:
        case Verb::Freshen:
        case Verb::Move:
            if (n == 0) return fail(error, "name the archive and the files");
            if (n == 1 && !o.latestTime) return fail(error, "name the files to put in the archive");
            if (o.stdinNameGiven && std::count(o.operands.begin() + 1, o.operands.end(), "-") == 0)
                return fail(error, "--name names the entry of standard input: give the file '-' as well");
            if (std::count(o.operands.begin() + 1, o.operands.end(), "-") > 1)
                return fail(error, "give standard input ('-') once");
            if ((o.volumeSize != 0 || o.volumeKind != 0) && o.verb != Verb::Add)
                return fail(error, "a set over several volumes is written once, by add");
            if (o.volumeKind != 0 && o.volumeSize == 0 && o.volumeKind != 3 && o.volumeKind != 4)
                return fail(error, "--volume-kind numbered and single-file need --volume-size");
            if ((o.volumeSize != 0 || o.volumeKind != 0) &&
                std::count(o.operands.begin() + 1, o.operands.end(), "-") != 0)
                return fail(error, "a set over several volumes takes files, not standard input");
            break;
        case Verb::Delete:
            if (n < 2) return fail(error, "name the archive and the entries to delete");
            break;
        case Verb::Comment: {
            if (n == 0) return fail(error, "name the archive");
            if (n > 2) return fail(error, "give the comment as one argument (quote it)");
            const int sources = (n == 2) + !o.commentFile.empty() + o.clear;
            if (sources > 1) return fail(error, "give the comment text, --file or --clear, only one of them");
            break;
        }
        case Verb::Identify:
            if (n == 0) return fail(error, "name the files to identify");
            break;
        case Verb::Rename:
            if (n != 3) return fail(error, "name the archive, the old path prefix and the new one");
            break;
        case Verb::UuEncode:
        case Verb::ToDos:
        case Verb::ToUnix:
            if (n != 1) return fail(error, "name one file");
            break;
        case Verb::UuDecode:
            if (n == 0) return fail(error, "name the uuencoded text (its first part, name.1, for numbered parts)");
            break;
        case Verb::None: break;
    }
    return true;
}

}  // namespace

const char* verbName(Verb verb) {
    for (const VerbInfo& info : kVerbs)
        if (info.verb == verb) return info.names[0];
    return "";
}

bool parseCommandLine(int argc, char** argv, Options* options, std::string* error) {
    *options = Options{};
    int at = 0;
    if (at < argc) {
        std::string_view first = argv[at];
        if (first == "--help" || first == "-h" || first == "help") {
            options->help = true;
            // "zar help VERB" shows that verb's help.
            if (first == "help" && at + 1 < argc) {
                if (const VerbInfo* verb = findVerb(argv[at + 1])) options->verb = verb->verb;
            }
            return true;
        }
        if (first == "--version") {
            options->version = true;
            return true;
        }
    }
    if (at >= argc) {
        *error = "name a verb";
        return false;
    }
    const VerbInfo* verb = findVerb(argv[at]);
    if (verb == nullptr) {
        *error = std::string("unknown verb '") + argv[at] + "'";
        return false;
    }
    options->verb = verb->verb;
    const std::string context = std::string(verb->names[0]) + ": ";
    ++at;

    bool optionsEnd = false;
    for (; at < argc; ++at) {
        const std::string arg = argv[at];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            options->operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (arg[1] == '-') {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            const FlagInfo* info = findLong(name);
            if (info == nullptr || !allows(*verb, info->flag)) {
                *error = context + "unknown option '--" + name + "'";
                return false;
            }
            std::string value;
            if (info->takesValue) {
                if (eq != std::string::npos) {
                    value = arg.substr(eq + 1);
                } else if (at + 1 < argc) {
                    value = argv[++at];
                } else {
                    *error = context + flagName(*info) + " needs a value";
                    return false;
                }
            } else if (eq != std::string::npos) {
                *error = context + flagName(*info) + " takes no value";
                return false;
            }
            if (!apply(options, info->flag, value, error)) {
                *error = context + *error;
                return false;
            }
            continue;
        }
        // A bundle of short options; one that takes a value takes the rest.
        for (size_t i = 1; i < arg.size(); ++i) {
            const char c = arg[i];
            if (c >= '0' && c <= '9' && allows(*verb, Flag::Level)) {
                if (!setLevel(options, std::string(1, c), error)) {
                    *error = context + *error;
                    return false;
                }
                continue;
            }
            const FlagInfo* info = findShort(*verb, c);
            if (info == nullptr || !allows(*verb, info->flag)) {
                *error = context + "unknown option '-" + c + "'";
                return false;
            }
            std::string value;
            if (info->takesValue) {
                if (i + 1 < arg.size()) {
                    value = arg.substr(i + 1);
                } else if (at + 1 < argc) {
                    value = argv[++at];
                } else {
                    *error = context + "-" + c + " needs a value";
                    return false;
                }
                i = arg.size();
            }
            if (!apply(options, info->flag, value, error)) {
                *error = context + *error;
                return false;
            }
        }
    }
    if (options->help) return true;
    if (!checkOptions(*options, error)) {
        *error = context + *error;
        return false;
    }
    return true;
}

}  // namespace zar::cli
