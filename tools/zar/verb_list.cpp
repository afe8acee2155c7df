// zar list: the central directory as a table, with the archive comment and
// totals, for ZIP archives and for the other kinds the library lists.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "archive_name.h"
#include "entries.h"
#include "patterns.h"
#include "reporter.h"
#include "results.h"
#include "text.h"
#include "verbs.h"
#include "zarlib32.h"

namespace zar::cli {
namespace {

std::string zipMethod(uint16_t method) {
    switch (method) {
        case 0: return "Stored";
        case 1: return "Shrunk";
        case 2: case 3: case 4: case 5: return "Reduced" + std::to_string(method - 1);
        case 6: return "Imploded";
        case 7: return "Tokenized";
        case 8: return "Deflated";
        case 9: return "Deflate64";
        case 10: return "Implode2";
        case 12: return "BZip2";
        case 14: return "LZMA";
        case 18: return "Terse";
        case 19: return "LZ77";
        case 93: return "Zstandard";
        case 95: return "XZ";
        case 96: return "JPEG";
        case 97: return "WavPack";
        case 98: return "PPMd";
        case 99: return "AES";
        default: return "Method" + std::to_string(method);
    }
}

// The method field of the records the library makes for the other kinds
// holds that kind's own method number.
std::string methodName(uint16_t kind, const CDR& record) {
    const uint16_t m = record.method;
    switch (kind) {
        case AX_KIND_LZH: {
            // The record holds the letter of "-lh?-" less '0'.
            const int letter = '0' + m;
            if ((letter >= '0' && letter <= '9') || (letter >= 'a' && letter <= 'z'))
                return std::string("-lh") + static_cast<char>(letter) + "-";
            return "LZH" + std::to_string(m);
        }
        case AX_KIND_ARJ: return m == 0 ? "Stored" : "ARJ" + std::to_string(m);
        case AX_KIND_ZOO:
            switch (m) {
                case 0: return "Stored";
                case 1: return "LZW";
                case 2: return "-lh5-";
                default: return "ZOO" + std::to_string(m);
            }
        case AX_KIND_ARC:
            switch (m) {
                case 1: case 2: return "Stored";
                case 3: return "Packed";
                case 4: return "Squeezed";
                case 5: case 6: case 7: case 8: return "Crunched";
                case 9: return "Squashed";
                default: return "ARC" + std::to_string(m);
            }
        case AX_KIND_TAR: return "Stored";
        default: return zipMethod(m);
    }
}

// DOS attribute letters for records made on DOS and Windows hosts; the
// library reports no attributes for records made elsewhere.
std::string attributeText(const Entry& entry) {
    if ((entry.record.versionMadeBy >> 8) != 0) return entry.isDirectory() ? "D" : "-";
    const uint32_t a = entry.record.externalAttributes;
    std::string text = "......";
    if (a & AX_ATTR_DIRECTORY) text[0] = 'D';
    if (a & AX_ATTR_VOLUME_LABEL) text[1] = 'V';
    if (a & AX_ATTR_READ_ONLY) text[2] = 'R';
    if (a & AX_ATTR_HIDDEN) text[3] = 'H';
    if (a & AX_ATTR_SYSTEM) text[4] = 'S';
    if (a & AX_ATTR_ARCHIVE) text[5] = 'A';
    return text;
}

std::string dateText(uint16_t date, uint16_t time) {
    if (date == 0) return "---------- -----";
    uint16_t month, day, year, hour, minute, second;
    Ax4ExpandDosDate(date, &month, &day, &year);
    Ax4ExpandDosTime(static_cast<int16_t>(time), &hour, &minute, &second);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", year, month, day, hour, minute);
    return text;
}

std::string ratioText(uint64_t length, uint64_t packed) {
    if (length == 0) return "0%";
    const double saved = 100.0 * (double(length) - double(packed)) / double(length);
    char text[16];
    std::snprintf(text, sizeof text, "%.0f%%", saved);
    return text;
}

void printComment(const std::string& comment, const char* indent) {
    for (const std::string& line : linesOf(comment)) std::printf("%s%s\n", indent, printable(line).c_str());
}

}  // namespace

int runList(const Options& options) {
    ArchiveName name = ArchiveName::forReading(options.operands[0]);
    ReportSettings settings;
    settings.questionsOnTerminal = stdinIsTerminal();
    startReporting(settings);
    if (int16_t result = name.openInnerTar(); result != AX_OK) return reportResult(name.shown(), result);

    OpenArchive archive;
    int16_t result = archive.open(name.path(), AX_OPEN_READ | AX_OPEN_LONG_NAMES);
    if (result != AX_OK) return reportOpenFailure(name.shown(), name.path(), result);
    uint16_t kind = AX_KIND_NONE;
    Ax4IdentifyFile(name.path().c_str(), &kind);

    std::vector<Entry> entries;
    result = readEntries(archive.handle(), &entries);
    if (result != AX_OK) return reportResult(name.shown(), result);
    std::vector<char> comment(65536, '\0');
    result = Ax4ZipComment(archive.handle(), comment.data(), static_cast<int32_t>(comment.size()));
    if (result != AX_OK && result != AX_TOO_LONG) return reportResult(name.shown(), result);

    const std::vector<std::string> patterns(options.operands.begin() + 1, options.operands.end());
    const Selection selection(patterns, options.excludes, true);
    std::vector<const Entry*> shown;
    for (const Entry& entry : entries)
        if (selection.selects(entry.name)) shown.push_back(&entry);
    if (shown.empty() && (!patterns.empty() || !options.excludes.empty()))
        return reportResult(name.shown(), AX_NOTHING_DONE);

    if (options.namesOnly) {
        for (const Entry* entry : shown) std::printf("%s\n", printable(entry->name).c_str());
        return kExitOk;
    }

    std::printf("Archive: %s (%s)\n", printable(name.shown()).c_str(),
                name.readsInnerTar() ? "gzip-compressed TAR archive" : kindName(kind));
    if (comment[0] != '\0') {
        std::printf("Comment:\n");
        printComment(comment.data(), "  ");
    }
    std::printf("\n%10s  %10s  %5s  %-9s  %-16s  %-6s  %s\n", "Length", "Packed", "Saved", "Method", "Date",
                "Attr", "Name");
    const char* rule = "----------  ----------  -----  ---------  ----------------  ------  ----";
    std::printf("%s\n", rule);
    uint64_t totalLength = 0, totalPacked = 0;
    for (const Entry* entry : shown) {
        const CDR& r = entry->record;
        totalLength += entry->unpackedSize;
        totalPacked += entry->packedSize;
        std::string method = methodName(kind, r) + (entry->isEncrypted() ? "*" : "");
        std::printf("%10" PRIu64 "  %10" PRIu64 "  %5s  %-9s  %-16s  %-6s  %s\n", entry->unpackedSize,
                    entry->packedSize, ratioText(entry->unpackedSize, entry->packedSize).c_str(), method.c_str(),
                    dateText(r.date, r.time).c_str(), attributeText(*entry).c_str(),
                    printable(entry->name).c_str());
        if (!entry->comment.empty()) printComment(entry->comment, "      comment: ");
    }
    std::printf("%s\n", rule);
    std::printf("%10" PRIu64 "  %10" PRIu64 "  %5s  %-9s  %-16s  %-6s  %s\n", totalLength, totalPacked,
                ratioText(totalLength, totalPacked).c_str(), "", "", "",
                countOf(shown.size(), "entry", "entries").c_str());
    return kExitOk;
}

}  // namespace zar::cli
