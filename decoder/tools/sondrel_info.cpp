// sondrel-info FILE...: what the library makes of each file.
#include "mireldo_version.h"
#include "result_text.h"
#include "sondrel.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void printText(const char* label, const char* text) {
    std::printf("%s: %s\n", label, text);
}

int32_t describe(const char* path) {
    std::printf("file: %s\n", path);
    SondrelStream* stream = nullptr;
    const int32_t code = Sondrel_OpenStream(&stream, path, 1, 1);
    std::printf("result: %d (%s)\n", code, resultText(code));
    if (code != SONDREL_OK) {
        std::fprintf(stderr, "sondrel-info: %s: %s (%d)\n", path, resultText(code), code);
        return code;
    }

    WAVEFORMATEX* format = nullptr;
    Sondrel_GetStreamFormat(stream, &format);
    std::printf("format: PCM %u ch, %u Hz, %u bit, block %u, %u bytes/s\n", format->nChannels,
                format->nSamplesPerSec, format->wBitsPerSample, format->nBlockAlign,
                format->nAvgBytesPerSec);

    uint32_t length = 0;
    Sondrel_GetStreamLength(stream, &length);
    if (length == 0xFFFFFFFFu) {
        std::printf("length: unknown (beyond 32 bits)\n");
    } else {
        std::printf("length: %u frames (%s)\n", length,
                    formatDuration(length, format->nSamplesPerSec).c_str());
    }

    std::vector<char> text(4096);
    Sondrel_GetTopic(stream, text.data(), static_cast<int32_t>(text.size()));
    printText("topic", text.data());
    Sondrel_GetDescription(stream, text.data(), static_cast<int32_t>(text.size()));
    printText("description", text.data());

    SondrelBitmap* images = nullptr;
    int16_t imageCount = 0;
    Sondrel_GetImageArray(stream, &images, &imageCount);
    std::printf("images: %d\n", imageCount);
    for (int i = 0; i < imageCount && images != nullptr; ++i) {
        const SondrelBitmapInfoHeader& h = images[i]->header;
        std::printf("  image %d: %dx%d, %u bit, %u bytes\n", i + 1, h.biWidth, h.biHeight,
                    h.biBitCount, h.biSizeImage);
    }

    CallRecordInfo* call = nullptr;
    Sondrel_GetCallRecordInfo(stream, &call);
    if (call == nullptr) {
        std::printf("call record: none\n");
    } else {
        std::printf("call record: id %d, start %d s, end %d s, %u entries\n", call->callId,
                    call->startTime, call->endTime, call->entryCount);
        for (uint32_t i = 0; i < call->entryCount; ++i) {
            std::printf("  entry %u: %d %d %d\n", i + 1, call->entries[3 * i],
                        call->entries[3 * i + 1], call->entries[3 * i + 2]);
        }
        std::printf("  text 1: %s\n", call->text1 ? call->text1 : "");
        std::printf("  text 2: %s\n", call->text2 ? call->text2 : "");
        std::printf("  text 3: %s\n", call->text3 ? call->text3 : "");
    }

    int32_t voidBytes = 0;
    Sondrel_GetNumberOfVoidBytes(stream, &voidBytes);
    std::printf("void bytes: %d\n", voidBytes);

    // The count is asked first; a second call fills a vector large enough for all entries.
    uint32_t indexCount = 0;
    Sondrel_ExtractIndexs(stream, &indexCount, nullptr);
    std::vector<SeekIndexEntry> index(indexCount);
    Sondrel_ExtractIndexs(stream, &indexCount, index.data());
    std::printf("seek index: %u entries\n", indexCount);
    for (uint32_t i = 0; i < indexCount; ++i) {
        std::printf("  %u: frame %u, byte %u\n", i, index[i].framePosition, index[i].byteOffset);
    }

    Sondrel_CloseStream(stream);
    return SONDREL_OK;
}

constexpr const char* kUsage = "usage: sondrel-info [--] FILE...\n"
                               "       sondrel-info --help | --version\n";

int usageError(const char* message) {
    if (message != nullptr) {
        std::fprintf(stderr, "sondrel-info: %s\n", message);
    }
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    // Options come before the files; "--" ends them, so a file may start with '-'.
    std::vector<const char*> files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options && std::strcmp(arg, "--") == 0) {
            options = false;
        } else if (options && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            std::fputs(kUsage, stdout);
            std::printf(
                "Prints the format, length and metadata of each audio file. The exit status\n"
                "is 0, or the library's result code of the last file that failed.\n");
            return 0;
        } else if (options && std::strcmp(arg, "--version") == 0) {
            std::printf("sondrel-info %s\n", MIRELDO_VERSION);
            return 0;
        } else if (options && arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "sondrel-info: unknown option '%s'\n", arg);
            return usageError(nullptr);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        return usageError("no file given");
    }
    int exitCode = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i > 0) {
            std::printf("\n");
        }
        const int32_t code = describe(files[i]);
        if (code != SONDREL_OK) {
            exitCode = code;
        }
    }
    return exitCode;
}
