/* header_walk [--mmap] FILE: the floor for opening an MPEG audio file. Reads the file in large
 * sequential pieces (or maps it with --mmap; on these machines the reads are the faster way),
 * steps over an ID3v2 tag at the front, then walks from frame header to frame header (bit
 * rate, sample rate and padding give the next header's offset) and counts the PCM frames,
 * doing nothing else. A position that holds no valid header is passed by one byte, as a
 * decoder's search would. Prints the frame count and the number of headers found. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static const uint16_t kKbps[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
static const uint32_t kRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

struct Walk {
    uint64_t samples;
    uint64_t headers;
};

/* Walks the headers in p[at, size) whose 4 bytes lie inside; returns where the walk stopped
 * (the next header's offset, which may lie past size). */
static size_t walk(const uint8_t* p, size_t at, size_t size, struct Walk* w) {
    while (at + 4 <= size) {
        const uint8_t b1 = p[at + 1];
        const uint8_t b2 = p[at + 2];
        const int version = (b1 & 0x18) == 0x18 ? 1 : ((b1 & 0x18) == 0x10 ? 2 : 3);
        const int layer = 4 - ((b1 >> 1) & 3);
        const int bitrateIndex = b2 >> 4;
        const int rateIndex = (b2 >> 2) & 3;
        if (p[at] != 0xFF || (b1 & 0xE0) != 0xE0 || (b1 & 0x18) == 0x08 || layer == 4 ||
            bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
            ++at;
            continue;
        }
        const uint32_t bitrate = kKbps[version != 1][layer - 1][bitrateIndex] * 1000u;
        const uint32_t rate = kRates[version - 1][rateIndex];
        const uint32_t padding = (b2 >> 1) & 1;
        uint32_t length;
        uint32_t frameSamples;
        if (layer == 1) {
            length = (bitrate * 12 / rate + padding) * 4;
            frameSamples = 384;
        } else if (layer == 3 && version != 1) {
            length = bitrate * 72 / rate + padding;
            frameSamples = 576;
        } else {
            length = bitrate * 144 / rate + padding;
            frameSamples = 1152;
        }
        w->samples += frameSamples;
        ++w->headers;
        at += length;
    }
    return at;
}

static size_t id3v2Size(const uint8_t* p, size_t size) {
    if (size >= 10 && p[0] == 'I' && p[1] == 'D' && p[2] == '3') {
        return 10 + ((size_t)(p[6] & 0x7F) << 21 | (size_t)(p[7] & 0x7F) << 14 |
                     (size_t)(p[8] & 0x7F) << 7 | (p[9] & 0x7F));
    }
    return 0;
}

static int walkMapped(int fd, size_t size, struct Walk* w) {
    const uint8_t* p = mmap(NULL, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
        perror("mmap");
        return 1;
    }
    madvise((void*)p, size, MADV_SEQUENTIAL);
    walk(p, id3v2Size(p, size), size, w);
    return 0;
}

/* Reads kPiece bytes at a time; the last 3 bytes of a piece are carried into the next so that
 * a header across the seam is seen whole. */
enum { kPiece = 128 * 1024 };

static int walkRead(int fd, struct Walk* w) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    uint8_t* buffer = malloc(kPiece + 4);
    if (buffer == NULL) {
        return 1;
    }
    size_t held = 0;   /* bytes in buffer */
    uint64_t base = 0; /* file offset of buffer[0] */
    uint64_t next = 0; /* file offset of the next header to look at */
    int first = 1;
    for (;;) {
        const ssize_t got = read(fd, buffer + held, kPiece + 4 - held);
        if (got < 0) {
            perror("read");
            free(buffer);
            return 1;
        }
        held += (size_t)got;
        if (first) {
            next = id3v2Size(buffer, held);
            first = 0;
        }
        if (next < base + held) {
            next = base + walk(buffer, (size_t)(next - base), held, w);
        }
        if (got == 0) {
            break;
        }
        /* Keep the bytes from the next header on when it starts inside the buffer. */
        size_t keep = next < base + held ? (size_t)(base + held - next) : 0;
        if (keep > 3) {
            keep = 3;
        }
        memmove(buffer, buffer + held - keep, keep);
        base += held - keep;
        held = keep;
    }
    free(buffer);
    return 0;
}

int main(int argc, char** argv) {
    const int mapped = argc == 3 && strcmp(argv[1], "--mmap") == 0;
    if (argc != 2 + mapped) {
        fprintf(stderr, "usage: header_walk [--mmap] FILE\n");
        return 2;
    }
    const char* path = argv[1 + mapped];
    const int fd = open(path, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        perror(path);
        return 1;
    }
    struct Walk w = {0, 0};
    const int failed = mapped ? walkMapped(fd, (size_t)st.st_size, &w) : walkRead(fd, &w);
    if (failed) {
        return 1;
    }
    printf("%llu frames in %llu headers\n", (unsigned long long)w.samples,
           (unsigned long long)w.headers);
    return 0;
}
