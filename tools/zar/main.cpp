// zar: the command-line host of zarlib32. It sees the library only through
// the public header, as every host does.
#include <cstdio>
#include <string>

#include "args.h"
#include "help.h"
#include "results.h"
#include "verbs.h"
#include "zarlib32.h"

using namespace zar::cli;

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseCommandLine(argc - 1, argv + 1, &options, &error)) {
        complain(error);
        std::fprintf(stderr, "Run 'zar --help' for the verbs, 'zar VERB --help' for their options.\n");
        return kExitUsage;
    }
    if (options.version) {
        std::printf("zar %s (zarlib32)\n", ZAR_VERSION);
        return kExitOk;
    }
    if (options.help) {
        std::fputs(helpText(options.verb), stdout);
        return kExitOk;
    }

    Ax4SetParseType(0);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    switch (options.verb) {
        case Verb::List: return runList(options);
        case Verb::Test: return runTest(options);
        case Verb::Extract: return options.toStdout ? runExtractToStdout(options) : runExtract(options);
        case Verb::Add:
        case Verb::Update:
        case Verb::Freshen:
        case Verb::Move: return runWrite(options);
        case Verb::Delete: return runDelete(options);
        case Verb::Comment: return runComment(options);
        case Verb::Identify: return runIdentify(options);
        case Verb::Rename: return runRename(options);
        case Verb::UuEncode: return runUuEncode(options);
        case Verb::UuDecode: return runUuDecode(options);
        case Verb::ToDos:
        case Verb::ToUnix: return runLineEnds(options);
        case Verb::None: break;
    }
    return kExitUsage;
}
