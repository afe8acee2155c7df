/* Extracts (or with -t tests) every entry of an archive through Ax4QUnZip:
 * the library's counterpart of `unzip -q` for the extraction benchmark. */
#include <stdio.h>
#include <string.h>

#include "zarlib32.h"

int main(int argc, char **argv) {
    int test = argc == 3 && strcmp(argv[1], "-t") == 0;
    if (argc != 3) {
        fprintf(stderr, "usage: unzip_archive ARCHIVE OUTPUT_DIR | unzip_archive -t ARCHIVE\n");
        return 2;
    }
    int16_t result = test ? Ax4QUnZip(argv[2], NULL, "*.*", "-T") : Ax4QUnZip(argv[1], argv[2], "*.*", "-D -O");
    if (result != AX_OK) {
        fprintf(stderr, "extraction failed: %d (more status %d)\n", result, Ax4MoreStatus());
        return 1;
    }
    return 0;
}
