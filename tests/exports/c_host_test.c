/* Compiles as C against the public header alone and calls through the ABI. */
#include <stdio.h>
#include <string.h>

#include "zarlib32.h"

int main(void) {
    const char *digits = "123456789";
    uint32_t crc = ~AxCrc32A((const uint8_t *)digits, (uint32_t)strlen(digits), 0xFFFFFFFFu);
    if (crc != 0xCBF43926u) {
        fprintf(stderr, "AxCrc32A gave %08x\n", (unsigned)crc);
        return 1;
    }

    uint16_t date = 0, month = 0, day = 0, year = 0;
    Ax4CompressDosDate(12, 31, 96, &date);
    Ax4ExpandDosDate(date, &month, &day, &year);
    if (date != 0x219F || month != 12 || day != 31 || year != 1996) {
        fprintf(stderr, "DOS date %04x gave %u/%u/%u\n", (unsigned)date, month, day, year);
        return 1;
    }
    return 0;
}
