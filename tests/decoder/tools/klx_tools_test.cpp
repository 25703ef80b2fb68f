// sondrel-info on a KLX container: every piece of metadata the exports hand out is printed.
#include "klx_writer.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace testsupport;
using klxtest::KlxFile;
using klxtest::KlxImage;

namespace {

TEST(KlxTools, InfoPrintsAllMetadataOfAContainer) {
    TempDir dir;
    KlxFile klx;
    klx.headerSize = 260;
    klx.topic = "Weekly call";
    klx.description = "Minutes of the meeting";
    klx.callId = 7;
    klx.callStart = 10;
    klx.callEnd = 10; // the WAV reader extends it by the payload's whole seconds
    klx.entries = {{1, 2, 3}, {-4, 5, 6}};
    klx.callText1 = "ext 12";
    klx.callText2 = "Alice";
    klx.callText3 = "Bob";
    klx.images = {KlxImage::rgb(3, 2, 1), KlxImage::rgb(1, 1, 2)};
    klx.gap = std::vector<uint8_t>(5, 0xEE);
    klx.payload = makeWav(1, 8000, 16, patternBytes(2 * 24000)); // 3 s
    const std::string path = dir.file("call.klx");
    writeFile(path, klx.bytes());

    const auto r = runCommand(shellQuote(binDir() + "/sondrel-info") + " " + shellQuote(path));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (const char* line : {
             "result: 0 (success)\n",
             "format: PCM 1 ch, 8000 Hz, 16 bit, block 2, 16000 bytes/s\n",
             "length: 24000 frames",
             "topic: Weekly call\n",
             "description: Minutes of the meeting\n",
             "images: 2\n",
             "  image 1: 3x2, 24 bit, 24 bytes\n", // rows padded to 4 bytes
             "  image 2: 1x1, 24 bit, 4 bytes\n",
             "call record: id 7, start 10 s, end 13 s, 2 entries\n",
             "  entry 1: 1 2 3\n",
             "  entry 2: -4 5 6\n",
             "  text 1: ext 12\n",
             "  text 2: Alice\n",
             "  text 3: Bob\n",
             "void bytes: 5\n",
             "seek index: 0 entries\n",
         }) {
        EXPECT_NE(r.output.find(line), std::string::npos) << "missing: " << line << r.output;
    }
}

TEST(KlxTools, InfoReportsADamagedContainer) {
    TempDir dir;
    KlxFile klx;
    klx.payload = makeWav(1, 8000, 16, patternBytes(400));
    klx.indexCount = 1000000;
    const std::string path = dir.file("bad.klx");
    writeFile(path, klx.bytes());
    const auto r = runCommand(shellQuote(binDir() + "/sondrel-info") + " " + shellQuote(path) +
                              " 2>/dev/null");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("result: 4 ("), std::string::npos) << r.output;
}

} // namespace
