/* Built by CI against an installed Sondrel through its pkg-config file: a C program that opens
 * a file and prints its format and length. Exit status: the library's result code. */
#include <sondrel.h>

#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: sondrel_pc_check FILE\n");
        return 2;
    }
    SondrelStream* stream = NULL;
    int32_t code = Sondrel_OpenStream(&stream, argv[1], 1, 1);
    if (code != SONDREL_OK) {
        fprintf(stderr, "%s: result %d\n", argv[1], (int)code);
        return (int)code;
    }
    WAVEFORMATEX* format = NULL;
    uint32_t frames = 0;
    code = Sondrel_GetStreamFormat(stream, &format);
    if (code == SONDREL_OK) {
        code = Sondrel_GetStreamLength(stream, &frames);
    }
    if (code == SONDREL_OK) {
        printf("%u Hz, %u channels, %u frames\n", (unsigned)format->nSamplesPerSec,
               (unsigned)format->nChannels, (unsigned)frames);
    }
    Sondrel_CloseStream(stream);
    return (int)code;
}
