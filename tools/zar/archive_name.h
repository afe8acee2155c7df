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

    // For a gzip file whose member is a TAR archive (x.tar.gz, x.tgz): the
    // library sees one member, the TAR. zar goes one step further, as bsdtar
    // does: it decompresses the TAR into a private temporary directory and
    // path() names it from then on, so that list, test and extract show and
    // write the TAR's files. The directory goes with this object. Anything
    // else is left alone. Reporting must be on, so that a damaged member is
    // told of; returns the library's code.
    int16_t openInnerTar();
    bool readsInnerTar() const { return !tarDirectory_.empty(); }

private:
    ArchiveName() = default;
    std::string path_, shown_;
    std::string linkDirectory_;  // a scratch directory holding the link, removed at the end
    std::string tarDirectory_;   // a scratch directory holding the inner TAR, removed at the end
};

}  // namespace zar::cli
