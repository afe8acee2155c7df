#include "archive/name_coding.h"

#include <algorithm>

#include "archive/zip_format.h"
#include "platform/platform.h"

namespace zar::archive {
namespace {

// Code page 437, bytes 0x80 to 0xFF.
constexpr char16_t kCodePage437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Hosts whose names are in code page 437 when the UTF-8 flag is clear.
bool namesInCodePage437(HostSystem host) {
    switch (host) {
        case HostSystem::Dos:
        case HostSystem::Os2:
        case HostSystem::WindowsNtfs:
        case HostSystem::Mvs:
        case HostSystem::Vfat:
            return true;
        default:
            return false;
    }
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

NameCoding nameCoding(uint16_t flags, uint16_t versionMadeBy) {
    if (!platform::namesAreUtf8()) return NameCoding::HostOem;
    if (flags & kFlagUtf8) return NameCoding::Utf8;
    return namesInCodePage437(hostSystem(versionMadeBy)) ? NameCoding::CodePage437 : NameCoding::Bytes;
}

std::string hostFormOfName(std::string_view stored, uint16_t flags, uint16_t versionMadeBy, size_t limit) {
    std::string name(stored);
    switch (nameCoding(flags, versionMadeBy)) {
        case NameCoding::HostOem:
            platform::oemToAnsi(name.data());
            break;
        case NameCoding::CodePage437:
            if (!isAscii(stored)) {
                std::string converted = utf8FromCodePage437(stored);
                if (converted.size() <= limit) name = std::move(converted);
            }
            break;
        case NameCoding::Utf8:
        case NameCoding::Bytes:
            break;
    }
    return name;
}

bool takesUtf8Flag(std::string_view name) {
    return platform::namesAreUtf8() && !isAscii(name) && isValidUtf8(name);
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        char32_t code, least;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string utf8FromCodePage437(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
            continue;
        }
        const char16_t code = kCodePage437[byte - 0x80];
        if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
        } else {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        }
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

}  // namespace zar::archive
