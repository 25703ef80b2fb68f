#include "ui_strings.h"

#include <algorithm>
#include <array>

namespace mireldo::ui {

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id (checked below), so that a lookup is a binary search.
constexpr std::array kEntries{
    Entry{kStrProgressTimeRemaining, "%d%% done, time remaining: %02d mins %02d secs"},
    Entry{kStrPlaySelected, "Play selected items"},
    Entry{kStrPauseContinue, "Pause/continue playing"},
    Entry{kStrStopPlaying, "Stop playing"},
    Entry{kStrAboutMireldo, "About Mireldo"},
    Entry{kStrBadFileNameCharacters, "A filename can not include following characters:\n\n      "
                                     "\\  /  :  *  ?  \"\"  <  >  |"},
    Entry{kStrChoosePlayingDevice, "Choose audio playing device"},
};

constexpr bool sortedById() {
    for (std::size_t i = 1; i < kEntries.size(); ++i) {
        if (kEntries[i - 1].id >= kEntries[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(sortedById(), "the table must be sorted by id without duplicates");

} // namespace

QString uiString(int id) {
    const auto it = std::lower_bound(kEntries.begin(), kEntries.end(), id,
                                     [](const Entry& e, int key) { return e.id < key; });
    return (it != kEntries.end() && it->id == id) ? QString::fromUtf8(it->text) : QString();
}

} // namespace mireldo::ui
