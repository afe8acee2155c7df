// The verbs of zar; each returns the process's exit status.
#pragma once

#include "args.h"

namespace zar::cli {

int runList(const Options& options);
int runTest(const Options& options);
int runExtract(const Options& options);
int runExtractToStdout(const Options& options);  // extract --stdout
int runWrite(const Options& options);  // add, update, freshen, move
int runDelete(const Options& options);
int runComment(const Options& options);
int runIdentify(const Options& options);
int runRename(const Options& options);
int runUuEncode(const Options& options);
int runUuDecode(const Options& options);
int runLineEnds(const Options& options);  // to-dos, to-unix

}  // namespace zar::cli
