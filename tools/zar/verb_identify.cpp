// zar identify: the archive kind of each file, as Ax4IdentifyFile sees it.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "entries.h"
#include "results.h"
#include "text.h"
#include "verbs.h"
#include "zarlib32.h"

namespace zar::cli {

int runIdentify(const Options& options) {
    int status = kExitOk;
    for (const std::string& file : options.operands) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec)) {
            complain(file + ": no such file");
            status = kExitFailure;
            continue;
        }
        uint16_t kind = AX_KIND_NONE;
        const int16_t result = Ax4IdentifyFile(file.c_str(), &kind);
        if (result == AX_OK) {
            std::printf("%s: %s\n", printable(file).c_str(), kindName(kind));
        } else {
            reportResult(file, result);
            status = kExitFailure;
        }
    }
    return status;
}

}  // namespace zar::cli
