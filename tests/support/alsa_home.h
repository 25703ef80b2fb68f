#pragma once

// ALSA configured by the test: a private HOME whose .asoundrc defines the devices, so the
// program's ALSA back-end opens what the test chose (the file plugin over the null device, a
// missing card, the pulse plugin).

#include "test_support.h"

#include <string>

namespace testsupport {

/// Points ALSA at `asoundrc` in a private HOME and selects the ALSA back-end
/// (MIRELDO_AUDIO_MODE=alsa); ALSA re-reads its configuration on creation and destruction.
/// Main thread, with no device open.
class AlsaHome {
  public:
    explicit AlsaHome(const std::string& asoundrc);
    ~AlsaHome();
    AlsaHome(const AlsaHome&) = delete;
    AlsaHome& operator=(const AlsaHome&) = delete;

    const TempDir& dir() const { return dir_; }

  private:
    TempDir dir_;
    ScopedEnv home_{"HOME", dir_.path().string()};
    ScopedEnv mode_{"MIRELDO_AUDIO_MODE", "alsa"};
};

/// An .asoundrc whose default device plays into the raw file `out` and captures from the raw
/// file `in`, over the null device.
std::string filePlugin(const std::string& out, const std::string& in);

} // namespace testsupport
