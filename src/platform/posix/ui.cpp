// The built-in message boxes on the controlling terminal, the message peek of
// the yield step (nothing to peek on POSIX), and the locale's date order.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string>

#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

struct Button {
    char key;
    const char* label;
    int answer;
};

constexpr Button kOk{'o', "(o)k", kAnswerOk};
constexpr Button kCancel{'c', "(c)ancel", kAnswerCancel};
constexpr Button kYes{'y', "(y)es", kAnswerYes};
constexpr Button kNo{'n', "(n)o", kAnswerNo};

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// One line from the terminal; false at its end.
bool readLine(int fd, std::string* line) {
    line->clear();
    char c;
    for (;;) {
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (c == '\n') return true;
        *line += c;
    }
}

}  // namespace

int messageBox(const char* text, const char* caption, uint32_t style) {
    if (DialogOverride dialog = posix::dialogOverride()) return dialog(text, caption, style);
    int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return 0;

    Button buttons[3];
    int count = 0;
    switch (style & 0xF) {
        case kBoxOkCancel: buttons[count++] = kOk, buttons[count++] = kCancel; break;
        case kBoxYesNoCancel: buttons[count++] = kYes, buttons[count++] = kNo, buttons[count++] = kCancel; break;
        default: buttons[count++] = kOk; break;
    }
    int defaultIndex = (style & kBoxDefaultButton2) && count > 1 ? 1 : 0;

    std::string prompt = "\n";
    if (*caption) prompt += std::string("[") + caption + "] ";
    prompt += text;
    prompt += "\n";
    for (int i = 0; i < count; ++i) prompt += std::string(i ? ", " : "") + buttons[i].label;
    prompt += std::string(" [") + buttons[defaultIndex].key + "]: ";

    int answer = 0;
    std::string line;
    while (answer == 0 && writeAll(tty, prompt) && readLine(tty, &line)) {
        size_t at = line.find_first_not_of(" \t\r");
        if (at == std::string::npos) {
            answer = buttons[defaultIndex].answer;
            break;
        }
        char key = static_cast<char>(std::tolower(static_cast<unsigned char>(line[at])));
        for (int i = 0; i < count; ++i)
            if (buttons[i].key == key) answer = buttons[i].answer;
    }
    ::close(tty);
    return answer;
}

void peekMessages() {}

namespace {

int dateOrderOverride = -1;

}  // namespace

void setDateOrderOverride(int order) { dateOrderOverride = order; }

int localeDateOrder() {
    if (dateOrderOverride >= 0) return dateOrderOverride;
    locale_t locale = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return 0;
    std::string format = ::nl_langinfo_l(D_FMT, locale);
    ::freelocale(locale);
    // Expand the shorthand forms, then see which field comes first.
    int day = -1, month = -1, year = -1;
    for (size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%') continue;
        char f = format[i + 1];
        if (f == 'E' || f == 'O' || f == '-' || f == '_' || f == '0') {
            if (i + 2 >= format.size()) break;
            f = format[i + 2];
        }
        int at = static_cast<int>(i);
        switch (f) {
            case 'd': case 'e': if (day < 0) day = at; break;
            case 'm': case 'b': case 'B': case 'h': if (month < 0) month = at; break;
            case 'y': case 'Y': case 'C': if (year < 0) year = at; break;
            case 'D': return 0;  // %m/%d/%y
            case 'F': return 2;  // %Y-%m-%d
            default: break;
        }
    }
    if (day < 0 || month < 0 || year < 0) return 0;
    if (year < month && year < day) return 2;
    return day < month ? 1 : 0;
}

}  // namespace zar::platform
