/* Lists an archive's entry names, one per line, through the public exports:
 * the library's counterpart of `unzip -Z1` for the listing benchmark. */
#include <stdio.h>

#include "zarlib32.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: list_entries ARCHIVE\n");
        return 2;
    }
    AxHandle handle;
    int16_t result = Ax4ZipOpen(argv[1], AX_OPEN_READ, &handle);
    if (result != AX_OK) {
        fprintf(stderr, "open failed: %d\n", result);
        return 1;
    }
    CDR record;
    char name[261];
    for (result = Ax4ZipFindFirst(handle, &record, name, NULL, 0, NULL, 0); result == AX_OK;
         result = Ax4ZipFindNext(handle, &record, name, NULL, 0, NULL, 0))
        puts(name);
    Ax4ZipClose(&handle);
    return result == AX_NOTHING_DONE ? 0 : 1;
}
