// The name zar hands the library for an archive. The library gives a name
// without an extension ".ZIP"; zar writes such archives as NAME.zip, and
// reads an existing file without an extension through a link whose name has
// one.
#pragma once

#include <string>

namespace zar::cli {

// Whether the library sees an extension: a '.' after the last separator
// that is not the name's first character.
bool hasExtension(const std::string& path);

class ArchiveName {
public:
    // For reading: NAME itself when it has an extension or no NAME.zip
    // exists beside it; otherwise NAME.zip.
    static ArchiveName forReading(const std::string& given);
    // For writing: NAME, or NAME.zip when it has no extension.
    static ArchiveName forWriting(const std::string& given);

    ArchiveName(ArchiveName&& other) noexcept;
    ArchiveName& operator=(ArchiveName&&) = delete;
    ~ArchiveName();

    // What the library opens.
    const std::string& path() const { return path_; }
    // What messages call it.
    const std::string& shown() const { return shown_; }
    // Makes path() absolute, for runs that change the working directory.
    void makeAbsolute();

private:
    ArchiveName() = default;
    std::string path_, shown_;
    std::string linkDirectory_;  // a scratch directory holding the link, removed at the end
};

}  // namespace zar::cli
