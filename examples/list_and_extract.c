/* Lists an archive and extracts it into a directory: a small host program
 * that uses zarlib32 through its public header only.
 *
 *   list_and_extract ARCHIVE OUTPUT_DIR
 *
 * Progress reports are ignored, per-entry problems are printed and the run
 * goes on, and existing files are kept (the overwrite question is answered
 * No). Exit status 0 when every entry was extracted. */
#include <stdio.h>

#include "zarlib32.h"

/* The library hands every report to this hook and acts on its answer. */
static int16_t AXAPI onStatus(StatusRecord record) {
    switch (record.kind) {
        case AX_STATUS_NOTICE: /* a problem with one entry: say so, go on */
            fprintf(stderr, "%s: problem %d, skipped or suspect\n", record.entryName, record.code);
            return AX_ANSWER_OK;
        case AX_STATUS_QUESTION: /* keep existing files; decline disk prompts */
            return record.code == AX_ASK_FILE_EXISTS ? AX_ANSWER_NO : AX_ANSWER_CANCEL;
        default: /* progress: to stop, a host calls Ax4Cancel() */
            return AX_ANSWER_OK;
    }
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: list_and_extract ARCHIVE OUTPUT_DIR\n");
        return 2;
    }

    AxHandle archive;
    int16_t result = Ax4ZipOpen(argv[1], AX_OPEN_READ, &archive);
    if (result != AX_OK) {
        fprintf(stderr, "%s: cannot open (code %d)\n", argv[1], result);
        return 1;
    }

    /* The central directory, one record at a time; AX_NOTHING_DONE ends it. */
    CDR record;
    char name[261];
    for (result = Ax4ZipFindFirst(archive, &record, name, NULL, 0, NULL, 0); result == AX_OK;
         result = Ax4ZipFindNext(archive, &record, name, NULL, 0, NULL, 0))
        printf("%10lu %10lu  %s\n", (unsigned long)record.unpackedSize, (unsigned long)record.packedSize, name);
    if (result != AX_NOTHING_DONE) fprintf(stderr, "%s: directory ends early (code %d)\n", argv[1], result);

    /* Every entry ("*"), recreating the stored directories (-D). */
    Ax4SetCPrint(1);
    Ax4CPrintHook(onStatus);
    result = Ax4UnZip(&archive, argv[2], "*", NULL, "-D");
    Ax4ZipClose(&archive);

    if (result == AX_SOME_ENTRIES_FAILED)
        fprintf(stderr, "some entries had problems; the last: code %d\n", Ax4MoreStatus());
    else if (result != AX_OK)
        fprintf(stderr, "extraction failed (code %d)\n", result);
    return result == AX_OK ? 0 : 1;
}
