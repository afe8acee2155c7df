/* Zips a directory tree into a new archive through Ax4QZip at the default
 * level: the library's counterpart of `zip -r -q` for the zipping benchmark. */
#include <stdio.h>
#include <string.h>

#include "zarlib32.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: zip_archive ARCHIVE DIRECTORY\n");
        return 2;
    }
    char spec[1024];
    if (snprintf(spec, sizeof spec, "\"%s/*.*\"", argv[2]) >= (int)sizeof spec) return 2;
    int16_t result = Ax4QZip(argv[1], spec, "-R -P");
    if (result != AX_OK) {
        fprintf(stderr, "zipping failed: %d\n", result);
        return 1;
    }
    return 0;
}
