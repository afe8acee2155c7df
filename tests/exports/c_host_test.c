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
    return 0;
}
