#include "alsa_home.h"

#include <alsa/asoundlib.h>

#include <fstream>

namespace testsupport {

AlsaHome::AlsaHome(const std::string& asoundrc) {
    std::ofstream(dir_.file(".asoundrc")) << asoundrc;
    snd_config_update_free_global();
}

AlsaHome::~AlsaHome() {
    snd_config_update_free_global();
}

std::string filePlugin(const std::string& out, const std::string& in) {
    return "pcm.!default {\n  type file\n  slave.pcm \"null\"\n  file \"" + out +
           "\"\n  infile \"" + in + "\"\n  format \"raw\"\n}\n";
}

} // namespace testsupport
