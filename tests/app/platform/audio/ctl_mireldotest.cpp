// A control device for the mixer tests: an ALSA external control plug-in whose elements live
// in a state file, so that several processes (the test and amixer) share one "card".
//
// Configuration:
//   ctl_type.mireldotest { lib "/path/libasound_module_ctl_mireldotest.so" }
//   ctl.mireldotest { type mireldotest state "/path/state" profile "full" }
// Profiles (the elements the card has):
//   full      "Capture Source" (Mic, Line, Aux), Mic and Line capture switches and volumes,
//             "Capture Volume"
//   switches  Mic and Line capture switches and volumes, "Capture Volume"
//   volumes   Mic and Line capture volumes, "Capture Volume"
//   input     "Input Source" (Front Mic, an item whose name cannot be read, Line),
//             "Capture Volume"
// The state file holds one line per element, "name=v1,v2". Every write by any process
// replaces it (write and rename); each open handle watches the folder with inotify, and when
// the file changed it reports the elements whose values differ as value events. Like a
// card's driver, it also reports the writes made through the handle itself.
//
// Threads: ALSA calls the callbacks on the thread that uses the handle.

#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Control {
    std::string name;
    int type = SND_CTL_ELEM_TYPE_INTEGER;
    unsigned count = 1;
    long minimum = 0;
    long maximum = 1;
    std::vector<std::string> items; // enumerated; an empty name cannot be read
    std::vector<long> values;
};

struct Card {
    snd_ctl_ext_t ext{};
    std::string statePath;
    std::vector<Control> controls;
    std::deque<unsigned> pending; // indexes of elements changed by others, to report
};

Control integer(const char* name, unsigned count, long minimum, long maximum, long value) {
    return {name, SND_CTL_ELEM_TYPE_INTEGER,      count, minimum, maximum,
            {},   std::vector<long>(count, value)};
}
Control boolean(const char* name, long value) {
    return {name, SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, {}, std::vector<long>(2, value)};
}
Control enumerated(const char* name, std::vector<std::string> items, long value) {
    return {name, SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0, 0, std::move(items), {value}};
}

bool makeControls(const std::string& profile, std::vector<Control>& out) {
    const bool full = profile == "full";
    if (full) {
        out.push_back(enumerated("Capture Source", {"Mic", "Line", "Aux"}, 0));
    }
    if (full || profile == "switches") {
        out.push_back(boolean("Mic Capture Switch", 1));
        out.push_back(boolean("Line Capture Switch", 0));
    }
    if (full || profile == "switches" || profile == "volumes") {
        out.push_back(integer("Mic Capture Volume", 2, 0, 31, 20));
        out.push_back(integer("Line Capture Volume", 2, 0, 31, 10));
    } else if (profile == "input") {
        out.push_back(enumerated("Input Source", {"Front Mic", "", "Line"}, 0));
    } else {
        return false;
    }
    out.push_back(integer("Capture Volume", 2, 0, 63, 40));
    return true;
}

// Reads the state file into `controls`; returns the indexes whose values changed.
std::vector<unsigned> load(const std::string& path, std::vector<Control>& controls) {
    std::vector<unsigned> changed;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(0, eq);
        for (unsigned i = 0; i < controls.size(); ++i) {
            Control& c = controls[i];
            if (c.name != name) {
                continue;
            }
            std::vector<long> values;
            std::stringstream list(line.substr(eq + 1));
            std::string v;
            while (std::getline(list, v, ',')) {
                values.push_back(std::stol(v));
            }
            if (values.size() == c.values.size() && values != c.values) {
                c.values = values;
                changed.push_back(i);
            }
        }
    }
    return changed;
}

void save(const Card& card) {
    const std::string temp = card.statePath + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const Control& c : card.controls) {
            out << c.name << '=';
            for (std::size_t i = 0; i < c.values.size(); ++i) {
                out << (i > 0 ? "," : "") << c.values[i];
            }
            out << '\n';
        }
    }
    std::rename(temp.c_str(), card.statePath.c_str());
}

// As a sound card's driver does, a write through this handle is reported to it as well.
void reportOwnWrite(Card& card, unsigned index) {
    if (std::find(card.pending.begin(), card.pending.end(), index) == card.pending.end()) {
        card.pending.push_back(index);
    }
}

Card* cardOf(snd_ctl_ext_t* ext) {
    return static_cast<Card*>(ext->private_data);
}

void closeCard(snd_ctl_ext_t* ext) {
    Card* card = cardOf(ext);
    ::close(ext->poll_fd);
    delete card;
}

int elemCount(snd_ctl_ext_t* ext) {
    return static_cast<int>(cardOf(ext)->controls.size());
}

int elemList(snd_ctl_ext_t* ext, unsigned offset, snd_ctl_elem_id_t* id) {
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, cardOf(ext)->controls.at(offset).name.c_str());
    return 0;
}

snd_ctl_ext_key_t findElem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id) {
    const auto& controls = cardOf(ext)->controls;
    const unsigned numid = snd_ctl_elem_id_get_numid(id);
    if (numid > 0 && numid <= controls.size()) {
        return numid - 1;
    }
    for (unsigned i = 0; i < controls.size(); ++i) {
        if (controls[i].name == snd_ctl_elem_id_get_name(id)) {
            return i;
        }
    }
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

int getAttribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned* acc,
                 unsigned* count) {
    const Control& c = cardOf(ext)->controls.at(key);
    *type = c.type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = c.count;
    return 0;
}

int getIntegerInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* imin, long* imax, long* istep) {
    const Control& c = cardOf(ext)->controls.at(key);
    *imin = c.minimum;
    *imax = c.maximum;
    *istep = 1;
    return 0;
}

int getEnumeratedInfo(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    *items = static_cast<unsigned>(cardOf(ext)->controls.at(key).items.size());
    return 0;
}

int getEnumeratedName(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned item, char* name,
                      size_t maxLength) {
    const auto& items = cardOf(ext)->controls.at(key).items;
    if (item >= items.size() || items[item].empty()) {
        name[0] = '\0'; // ALSA passes the failure on as an empty name
        return -EIO;
    }
    std::snprintf(name, maxLength, "%s", items[item].c_str());
    return 0;
}

int readInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    const Control& c = cardOf(ext)->controls.at(key);
    std::copy(c.values.begin(), c.values.end(), value);
    return 0;
}

int writeInteger(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value) {
    Card* card = cardOf(ext);
    Control& c = card->controls.at(key);
    const std::vector<long> values(value, value + c.count);
    if (values == c.values) {
        return 0;
    }
    c.values = values;
    save(*card);
    reportOwnWrite(*card, static_cast<unsigned>(key));
    return 1;
}

int readEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    const Control& c = cardOf(ext)->controls.at(key);
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        items[i] = static_cast<unsigned>(c.values[i]);
    }
    return 0;
}

int writeEnumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned* items) {
    Card* card = cardOf(ext);
    Control& c = card->controls.at(key);
    std::vector<long> values;
    for (unsigned i = 0; i < c.count; ++i) {
        if (items[i] >= c.items.size()) {
            return -EINVAL;
        }
        values.push_back(items[i]);
    }
    if (values == c.values) {
        return 0;
    }
    c.values = values;
    save(*card);
    reportOwnWrite(*card, static_cast<unsigned>(key));
    return 1;
}

void subscribeEvents(snd_ctl_ext_t*, int) {}

// Takes what inotify reported; after a change of the file, queues the elements that differ.
int readEvent(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned* mask) {
    Card* card = cardOf(ext);
    alignas(inotify_event) char buffer[4096];
    bool touched = false;
    while (::read(ext->poll_fd, buffer, sizeof buffer) > 0) {
        touched = true;
    }
    if (touched) {
        for (const unsigned i : load(card->statePath, card->controls)) {
            card->pending.push_back(i);
        }
    }
    if (card->pending.empty()) {
        return -EAGAIN;
    }
    const unsigned index = card->pending.front();
    card->pending.pop_front();
    snd_ctl_elem_id_clear(id);
    snd_ctl_elem_id_set_numid(id, index + 1);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, card->controls[index].name.c_str());
    *mask = SND_CTL_EVENT_MASK_VALUE;
    return 1;
}

const snd_ctl_ext_callback_t kCallbacks = [] {
    snd_ctl_ext_callback_t c{};
    c.close = closeCard;
    c.elem_count = elemCount;
    c.elem_list = elemList;
    c.find_elem = findElem;
    c.get_attribute = getAttribute;
    c.get_integer_info = getIntegerInfo;
    c.get_enumerated_info = getEnumeratedInfo;
    c.get_enumerated_name = getEnumeratedName;
    c.read_integer = readInteger;
    c.read_enumerated = readEnumerated;
    c.write_integer = writeInteger;
    c.write_enumerated = writeEnumerated;
    c.subscribe_events = subscribeEvents;
    c.read_event = readEvent;
    return c;
}();

} // namespace

extern "C" {

SND_CTL_PLUGIN_DEFINE_FUNC(mireldotest) {
    (void)root;
    std::string state;
    std::string profile = "full";
    snd_config_iterator_t i;
    snd_config_iterator_t next;
    snd_config_for_each(i, next, conf) {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id = nullptr;
        const char* text = nullptr;
        if (snd_config_get_id(n, &id) < 0) {
            continue;
        }
        if (std::strcmp(id, "state") == 0 || std::strcmp(id, "profile") == 0) {
            if (snd_config_get_string(n, &text) < 0) {
                return -EINVAL;
            }
            (std::strcmp(id, "state") == 0 ? state : profile) = text;
        }
    }
    auto* card = new Card;
    card->statePath = state;
    if (state.empty() || !makeControls(profile, card->controls)) {
        delete card;
        return -EINVAL;
    }
    if (std::ifstream(state).good()) {
        load(state, card->controls);
    } else {
        save(*card);
    }
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const std::string folder = state.substr(0, state.rfind('/') + 1);
    if (watch < 0 || ::inotify_add_watch(watch, folder.empty() ? "." : folder.c_str(),
                                         IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        if (watch >= 0) {
            ::close(watch);
        }
        delete card;
        return -errno;
    }
    snd_ctl_ext_t& ext = card->ext;
    ext.version = SND_CTL_EXT_VERSION;
    ext.card_idx = 0;
    std::snprintf(ext.id, sizeof ext.id, "%s", "MireldoTest");
    std::snprintf(ext.driver, sizeof ext.driver, "%s", "mireldotest");
    std::snprintf(ext.name, sizeof ext.name, "%s", "Mireldo Test");
    std::snprintf(ext.longname, sizeof ext.longname, "%s", "Mireldo test mixer");
    std::snprintf(ext.mixername, sizeof ext.mixername, "%s", "Mireldo test mixer");
    ext.poll_fd = watch;
    ext.callback = &kCallbacks;
    ext.private_data = card;
    const int err = snd_ctl_ext_create(&ext, name, mode);
    if (err < 0) {
        ::close(watch);
        delete card;
        return err;
    }
    *handlep = ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(mireldotest)

} // extern "C"
