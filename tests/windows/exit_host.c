/* A host that ends its process in the middle of a writing run: its CPrint hook
 * calls ExitProcess at the first progress report, so the run never returns
 * and only DllMain is left to clean up. dll_unload_test.cpp runs it.
 *
 *   exit_host ARCHIVE FILES */
#include <windows.h>

#include "zarlib32.h"

static int16_t AXAPI exitAtProgress(StatusRecord record) {
    if (record.kind == AX_STATUS_PROGRESS) ExitProcess(3);
    return AX_ANSWER_OK;
}

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    Ax4SetCPrint(1);
    Ax4CPrintHook(exitAtProgress);
    Ax4QZip(argv[1], argv[2], "");
    return 1; /* the run returned: the hook never saw a report */
}
