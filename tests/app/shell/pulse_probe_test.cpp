#include "audio_mode.h"

#include "pulse_server.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(PulseProbe, AnswersWhenAServerIsThereAndDecidesTheEndpointMode) {
    testsupport::TempDir dir;
    testsupport::PulseServer server(dir, "load-module module-null-sink");
    ASSERT_TRUE(server.waitReady()) << "the private PulseAudio server did not start";
    EXPECT_TRUE(mireldo::pulseServerAnswers(3000));
    ::unsetenv(mireldo::kAudioModeVariable);
    EXPECT_EQ(mireldo::decideAndStoreAudioMode(), mireldo::AudioMode::Pulse);
    EXPECT_TRUE(mireldo::isEndpointMode());
    ::setenv(mireldo::kAudioModeVariable, "alsa", 1);
    EXPECT_EQ(mireldo::decideAndStoreAudioMode(), mireldo::AudioMode::Alsa);
    ::unsetenv("PULSE_SERVER");
}

} // namespace
