// The virtual devices on a manual clock: they move only when the test moves the clock, by
// exactly the frames the step grants, and every buffer that became due has been handed back
// when advance() returns.

#include "audio/virtual_clock.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "core_app.h"
#include "message_receiver.h"
#include "returned_buffers.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <vector>

using namespace mireldo::platform;
using namespace mireldo::platform::audio;
using namespace std::chrono_literals;

namespace {

struct Block {
    explicit Block(std::size_t bytes) : bytes_(bytes, 0x11) {
        header.data = bytes_.data();
        header.bufferLength = static_cast<std::uint32_t>(bytes_.size());
        prepareHeader(header);
    }
    std::vector<char> bytes_;
    WaveHeader header;
};

// Handles what the devices posted (posting happened inside advance()).
void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

class ManualClockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platformtest::coreApp();
        ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
        ::setenv("MIRELDO_VIRTUAL_SPEED", "1", 1);
        ::setenv("MIRELDO_VIRTUAL_OUTPUT", dir.file("out.wav").c_str(), 1);
        ::setenv("MIRELDO_VIRTUAL_INPUT", "tone", 1);
    }
    void TearDown() override {
        ::unsetenv("MIRELDO_VIRTUAL_SPEED");
        ::unsetenv("MIRELDO_VIRTUAL_OUTPUT");
        ::unsetenv("MIRELDO_VIRTUAL_INPUT");
    }
    testsupport::TempDir dir;
    platformtest::ReturnedBuffers owner;
};

const PcmFormat kMono8k{1, 8000, 16};

} // namespace

TEST_F(ManualClockTest, OutputPlaysExactlyWhatEachStepGrants) {
    ManualClock clock;
    auto out = openWaveOut(WAVE_MAPPER, kMono8k, owner.handle());
    ASSERT_TRUE(out);
    Block a(8000); // 4000 frames: half a second
    Block b(8000);
    ASSERT_EQ(out->write(&a.header), DeviceError::None);
    ASSERT_EQ(out->write(&b.header), DeviceError::None);
    std::uint32_t position = 0;
    out->getPosition(&position);
    EXPECT_EQ(position, 0u) << "no time passes on its own";

    clock.advance(250ms);
    out->getPosition(&position);
    EXPECT_EQ(position, 2000u);
    settle();
    EXPECT_TRUE(owner.done.empty());

    clock.advance(250ms); // exactly the end of the first buffer
    settle();
    ASSERT_EQ(owner.done.size(), 1u);
    EXPECT_EQ(owner.done[0], &a.header);

    clock.advance(10s); // an empty device does not save up time
    settle();
    ASSERT_EQ(owner.done.size(), 2u);
    out->getPosition(&position);
    EXPECT_EQ(position, 8000u);
    out->close();
}

TEST_F(ManualClockTest, InputFillsBuffersOnlyAsTheClockMoves) {
    ManualClock clock;
    auto in = openWaveIn(WAVE_MAPPER, kMono8k, owner.handle());
    ASSERT_TRUE(in);
    std::vector<std::unique_ptr<Block>> blocks;
    for (int i = 0; i < 3; ++i) {
        blocks.push_back(std::make_unique<Block>(1600)); // 800 frames: 100 ms
        ASSERT_EQ(in->addBuffer(&blocks.back()->header), DeviceError::None);
    }
    ASSERT_EQ(in->start(), DeviceError::None);
    clock.advance(99ms);
    settle();
    EXPECT_TRUE(owner.data.empty());
    clock.advance(1ms);
    settle();
    ASSERT_EQ(owner.data.size(), 1u);
    EXPECT_EQ(owner.data[0]->bytesRecorded, 1600u);
    clock.advance(200ms);
    settle();
    EXPECT_EQ(owner.data.size(), 3u);
    in->close();
}

TEST_F(ManualClockTest, ADeviceOpenedAfterTheClockIsGoneRunsOnRealTime) {
    {
        ManualClock clock;
        EXPECT_TRUE(virtualClockIsManual());
    }
    EXPECT_FALSE(virtualClockIsManual());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_GE(virtualNow(), before);
}
