#include "audio_mode.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using mireldo::AudioMode;

TEST(AudioMode, VariableOverridesTheProbe) {
    int probes = 0;
    const auto answers = [&] {
        ++probes;
        return true;
    };
    EXPECT_EQ(mireldo::decideAudioMode("alsa", answers), AudioMode::Alsa);
    EXPECT_EQ(mireldo::decideAudioMode(" Virtual ", answers), AudioMode::Virtual);
    EXPECT_EQ(mireldo::decideAudioMode("PULSE", [] { return false; }), AudioMode::Pulse);
    EXPECT_EQ(probes, 0);
    // Unset or unknown: the probe decides.
    EXPECT_EQ(mireldo::decideAudioMode("", answers), AudioMode::Pulse);
    EXPECT_EQ(mireldo::decideAudioMode("coreaudio", [] { return false; }), AudioMode::Alsa);
    EXPECT_EQ(probes, 1);
    for (AudioMode m : {AudioMode::Alsa, AudioMode::Pulse, AudioMode::Virtual}) {
        EXPECT_EQ(mireldo::parseAudioMode(mireldo::audioModeName(m)), m);
    }
}

TEST(AudioMode, StoredModeIsProcessWide) {
    const AudioMode before = mireldo::audioMode();
    mireldo::setAudioMode(AudioMode::Pulse);
    EXPECT_TRUE(mireldo::isEndpointMode());
    mireldo::setAudioMode(AudioMode::Virtual);
    EXPECT_FALSE(mireldo::isEndpointMode());
    ::setenv(mireldo::kAudioModeVariable, "alsa", 1);
    EXPECT_EQ(mireldo::decideAndStoreAudioMode(), AudioMode::Alsa);
    EXPECT_EQ(mireldo::audioMode(), AudioMode::Alsa);
    ::setenv(mireldo::kAudioModeVariable, "virtual", 1);
    mireldo::setAudioMode(before);
}

TEST(AudioMode, ProbeFailsFastWithoutAServer) {
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("PULSE_SERVER", "unix:/nonexistent/mireldo-test/native", 1);
    // A socket that does not exist is refused at once; the probe must answer false rather
    // than wait out its (long) limit, which the test's own time-out would catch.
    EXPECT_FALSE(mireldo::pulseServerAnswers(120000));
    if (old != nullptr) {
        ::setenv("PULSE_SERVER", saved.c_str(), 1);
    } else {
        ::unsetenv("PULSE_SERVER");
    }
}

} // namespace
