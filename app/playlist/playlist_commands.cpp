#include "playlist_commands.h"

#include "item_text.h"
#include "native_path.h"
#include "playlist_texts.h"
#include "replacing_file.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo::playlist {

namespace {

/// Bytes copied per read while copying a file.
constexpr std::size_t kCopyChunk = 1 << 16;

/// The file name of `path`: everything after its last '/'.
QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isRegularFile(const QString& path) {
    const auto st = platform::statPath(path);
    return st && S_ISREG(st->st_mode);
}

bool isItemIndex(int answer, const PlaylistModel& model) {
    return answer >= 0 && answer < model.count();
}

} // namespace

const QStringList& addDirectoryPatterns() {
    static const QStringList patterns{QStringLiteral("*.mp3"), QStringLiteral("*.mp2"),
                                      QStringLiteral("*.mp1"), QStringLiteral("*.wav"),
                                      QStringLiteral("*.wma"), QStringLiteral("*.ogg")};
    return patterns;
}

QString playTimeText(std::uint32_t position, std::uint32_t length, std::uint32_t rate) {
    if (rate == 0) {
        return {};
    }
    const std::uint32_t s = length / rate;
    const std::uint32_t ps = position / rate;
    const std::uint32_t pTenth =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(position % rate) * 10 / rate);
    const std::uint32_t lTenth =
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(length % rate) * 10 / rate);
    if (s < 3600) {
        return QString::asprintf("%02u:%02u.%u/%02u:%02u.%u", (ps % 3600) / 60, ps % 60, pTenth,
                                 (s % 3600) / 60, s % 60, lTenth);
    }
    return QString::asprintf("%u:%02u:%02u.%u/%u:%02u:%02u.%u", ps / 3600, (ps % 3600) / 60,
                             ps % 60, pTenth, s / 3600, (s % 3600) / 60, s % 60, lTenth);
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

QString copyFileReplacing(const QString& source, const QString& target) {
    // Non-blocking, so a FIFO under the item's name cannot hold the window; only regular files
    // are copied.
    const platform::UniqueFd in(::open(platform::encodePath(source).constData(),
                                       O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!in.valid()) {
        return platform::systemError(errno);
    }
    struct stat from {};
    if (::fstat(in.get(), &from) != 0) {
        return platform::systemError(errno);
    }
    if (!S_ISREG(from.st_mode)) {
        return platform::systemError(S_ISDIR(from.st_mode) ? EISDIR : EINVAL);
    }
    if (const auto to = platform::statPath(target);
        to && to->st_dev == from.st_dev && to->st_ino == from.st_ino) {
        return {}; // the file is already there; copying it onto itself would gain nothing
    }
    const int flags = ::fcntl(in.get(), F_GETFL);
    if (flags < 0 || ::fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return platform::systemError(errno);
    }
    // The old target stays whole until the copy is complete and renamed over it.
    ReplacingFile out(target);
    if (!out.open()) {
        return out.error();
    }
    std::vector<char> chunk(kCopyChunk);
    for (;;) {
        const ssize_t n = ::read(in.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return platform::systemError(errno);
        }
        if (n == 0) {
            break;
        }
        if (!out.write(chunk.data(), static_cast<std::size_t>(n))) {
            return out.error();
        }
    }
    if (!out.commit()) {
        return out.error();
    }
    return {};
}

PlaylistCommands::PlaylistCommands(PlaylistModel& model, PlayerPort& player, PlaylistHost& host)
    : model_(model), player_(player), host_(host) {}

PlaylistCommands::~PlaylistCommands() = default;

PlaylistItem* PlaylistCommands::itemAt(int index) const {
    return index >= 0 && index < model_.count() ? model_.item(index) : nullptr;
}

bool PlaylistCommands::refuseEmpty(const std::vector<int>& selection) {
    if (selection.empty()) {
        host_.showStopMessage(texts::noItemSelected());
        return true;
    }
    return false;
}

bool PlaylistCommands::refusePlayingEdit(const std::vector<int>& selection) {
    if (!selection.empty() && itemAt(selection.front()) != nullptr &&
        itemAt(selection.front()) == queue_.currentItem()) {
        host_.showStopMessage(texts::cannotEditPlaying());
        return true;
    }
    return false;
}

// Playing ----------------------------------------------------------------------------------

bool PlaylistCommands::playSelected(const std::vector<int>& selection) {
    if (refuseEmpty(selection)) {
        return false;
    }
    if (selection.size() > 1 && !host_.confirmMultiPlay(static_cast<int>(selection.size()))) {
        return false;
    }
    if (player_.isOpen()) {
        player_.stop();
    }
    queue_.clear();
    PlaylistItem* first = itemAt(selection.front());
    if (first == nullptr || !playItem(first, true)) {
        host_.repaintList();
        return false;
    }
    std::vector<PlaylistItem*> items;
    for (int index : selection) {
        if (PlaylistItem* item = itemAt(index)) {
            items.push_back(item);
        }
    }
    queue_.build(items);
    host_.repaintList();
    return true;
}

bool PlaylistCommands::playItem(PlaylistItem* item, bool withMessages) {
    if (item == nullptr) {
        return false;
    }
    if (!item->isLoaded() || item->format == nullptr) {
        if (withMessages) {
            const bool busy =
                item->lengthOrState == kStatePending || item->lengthOrState == kStateLoading;
            host_.showStopMessage(busy ? texts::itemBeingLoaded() : texts::itemNotLoaded());
        }
        return false;
    }
    // Setting 0 is the default device (-1 to the player), n the device n - 1.
    const int result =
        player_.play(outputDevice_ - 1, item->stream, *item->format, item->lengthOrState, 0);
    if (result != 0) {
        host_.showStopMessage(result == 1 ? texts::failedToOpenDevice() : texts::cannotPlaySound());
        return false;
    }
    host_.setPositionRange(item->lengthOrState > 0 ? item->lengthOrState - 1 : 0);
    host_.onPlayStarted(itemTitle(*item));
    return true;
}

QString PlaylistCommands::timeTextFor(std::uint32_t position) const {
    const PlaylistItem* item = queue_.currentItem();
    if (item == nullptr || !item->isLoaded() || item->format == nullptr) {
        return {};
    }
    return playTimeText(position, item->lengthOrState, item->format->nSamplesPerSec);
}

void PlaylistCommands::onPlayerPosition(std::uint32_t position, bool end) {
    if (queue_.current() != nullptr && !dragging_) {
        host_.setPosition(position);
        host_.setTimeText(timeTextFor(position));
    }
    if (end && queue_.current() != nullptr) {
        advance();
        if (queue_.current() == nullptr) {
            endOfSequence();
        }
    }
}

void PlaylistCommands::endOfSequence() {
    if (player_.isOpen()) {
        player_.stop();
    }
    host_.onPlayStarted(QString());
    host_.setTimeText(QString());
}

void PlaylistCommands::advance() {
    queue_.advance(loop_);
    if (queue_.current() == nullptr || !playItem(queue_.currentItem(), false)) {
        queue_.clear();
    }
    host_.repaintList();
}

void PlaylistCommands::pauseContinue() {
    if (!player_.isOpen()) {
        return;
    }
    if (player_.isPaused()) {
        player_.resume();
    } else {
        player_.pause();
    }
}

void PlaylistCommands::stopPlaying() {
    if (!player_.isOpen()) {
        return;
    }
    player_.stop();
    host_.onPlayStarted(QString());
    host_.setTimeText(QString());
    queue_.clear();
    host_.setPosition(0);
    host_.repaintList();
}

void PlaylistCommands::onPositionControl(PositionAction action, std::uint32_t position) {
    if (action == PositionAction::Dragging) {
        dragging_ = true;
        return;
    }
    dragging_ = false;
    if (player_.isOpen() && queue_.current() != nullptr) {
        player_.seek(position);
        host_.setTimeText(timeTextFor(position));
    }
}

void PlaylistCommands::setVolume(int position) {
    const auto v = static_cast<std::uint32_t>(std::clamp(position, 0, 0xFFFF));
    player_.setVolume(v | (v << 16));
}

// Editing the list ---------------------------------------------------------------------------

QString PlaylistCommands::addFiles(const QStringList& paths) {
    host_.setBusy(true);
    QString firstFolder;
    int last = kAddRefused;
    for (const QString& path : paths) {
        const auto st = platform::statPath(path);
        if (!st || S_ISDIR(st->st_mode)) {
            break;
        }
        if (!S_ISREG(st->st_mode)) {
            continue; // a FIFO, socket or device is no audio file
        }
        last = model_.addPath(path);
        if (last == model_.capacity()) {
            host_.showStopMessage(texts::tooManyItems(model_.capacity()));
            break;
        }
        model_.setModified();
        if (firstFolder.isEmpty()) {
            firstFolder = folderOf(path);
        }
    }
    if (isItemIndex(last, model_)) {
        host_.selectOnly(last);
        host_.repaintList();
    }
    host_.setBusy(false);
    model_.save();
    return firstFolder;
}

void PlaylistCommands::addDirectory(const QString& folder) {
    host_.setBusy(true);
    // Listed once, as the system names them; the patterns then pick from the list.
    const QStringList entries = platform::folderEntries(folder).value_or(QStringList());
    for (const QString& pattern : addDirectoryPatterns()) {
        // Each pattern is "*" and an extension. Letter case is ignored, so "*.MP3" files come
        // too; names need not be valid UTF-8 (a text match, not a regular expression).
        const QString extension = pattern.mid(1);
        int last = kAddRefused;
        for (const QString& name : entries) {
            const QString path = joinPath(folder, name);
            if (!name.endsWith(extension, Qt::CaseInsensitive) || !isRegularFile(path)) {
                continue; // folders, FIFOs, sockets and devices are not added
            }
            last = model_.addPath(path);
            if (last == model_.capacity()) {
                host_.showStopMessage(texts::tooManyItems(model_.capacity()));
                break;
            }
        }
        if (isItemIndex(last, model_)) {
            host_.selectOnly(last);
            host_.repaintList();
        }
    }
    host_.setBusy(false);
    model_.setModified();
    model_.save();
}

void PlaylistCommands::removeItems(std::vector<int> selection, RemoveAnswer answer) {
    if (refuseEmpty(selection) || answer == RemoveAnswer::Keep) {
        return;
    }
    std::sort(selection.begin(), selection.end());
    QStringList failures;
    int lastRemoved = -1;
    for (std::size_t i = 0; i < selection.size(); ++i) {
        const int index = selection[i];
        PlaylistItem* item = itemAt(index);
        if (item == nullptr) {
            continue;
        }
        if (item == queue_.currentItem()) {
            host_.showStopMessage(texts::cannotDeletePlaying());
            tellFailures(failures);
            return;
        }
        if (item->queued != 0) {
            queue_.remove(item);
        }
        const QString path = item->path;
        host_.itemRemoving(index);
        const QString error =
            model_.removeItem(index, answer == RemoveAnswer::RemoveAndDeleteFiles);
        if (!error.isEmpty()) {
            failures.append(texts::deleteFailed(path, error));
        }
        lastRemoved = index;
        for (std::size_t j = i + 1; j < selection.size(); ++j) {
            if (selection[j] > index) {
                --selection[j];
            }
        }
    }
    // The item now at the last removed place is selected, or the new last item.
    if (lastRemoved >= 0 && model_.count() > 0) {
        host_.selectOnly(std::min(lastRemoved, model_.count() - 1));
    }
    host_.repaintList();
    tellFailures(failures);
    model_.save();
}

std::vector<int> PlaylistCommands::moveUp(std::vector<int> selection) {
    std::sort(selection.begin(), selection.end());
    bool moved = false;
    for (std::size_t i = 0; i < selection.size(); ++i) {
        const int n = selection[i];
        const bool aboveSelected = i > 0 && selection[i - 1] == n - 1;
        if (n > 0 && n < model_.count() && !aboveSelected) {
            model_.swapItems(n, n - 1);
            selection[i] = n - 1;
            moved = true;
        }
    }
    if (moved) {
        host_.repaintList();
    }
    model_.save();
    return selection;
}

std::vector<int> PlaylistCommands::moveDown(std::vector<int> selection) {
    std::sort(selection.begin(), selection.end());
    bool moved = false;
    for (std::size_t k = selection.size(); k-- > 0;) {
        const int n = selection[k];
        const bool belowSelected = k + 1 < selection.size() && selection[k + 1] == n + 1;
        if (n >= 0 && n + 1 < model_.count() && !belowSelected) {
            model_.swapItems(n, n + 1);
            selection[k] = n + 1;
            moved = true;
        }
    }
    if (moved) {
        host_.repaintList();
    }
    model_.save();
    return selection;
}

void PlaylistCommands::renameItem(int index, const QString& newName) {
    if (index < 0 || index >= model_.count()) {
        return;
    }
    PlaylistItem* item = model_.item(index);
    const QString oldName = fileNameOf(item->path);
    if (newName.compare(oldName, Qt::CaseInsensitive) == 0) {
        return;
    }
    const QString oldPath = item->path;
    const QString error = model_.moveItemFile(index, joinPath(folderOf(oldPath), newName));
    model_.reloadItem(index);
    host_.repaintList();
    model_.save();
    if (!error.isEmpty()) {
        host_.showStopMessage(texts::renameFailed(oldPath, error));
    }
}

void PlaylistCommands::copyItemTo(int index, const QString& target) {
    if (index < 0 || index >= model_.count()) {
        return;
    }
    const QString source = model_.item(index)->path;
    host_.setBusy(true);
    const QString error = copyFileReplacing(source, target);
    host_.setBusy(false);
    if (!error.isEmpty()) {
        tellFailures({texts::copyFailed(source, error)});
    }
}

void PlaylistCommands::copyItemsToFolder(const std::vector<int>& selection, const QString& folder) {
    QStringList failures;
    host_.setBusy(true);
    for (int index : selection) {
        const PlaylistItem* item = itemAt(index);
        if (item == nullptr) {
            continue;
        }
        const QString error =
            copyFileReplacing(item->path, joinPath(folder, fileNameOf(item->path)));
        if (!error.isEmpty()) {
            failures.append(texts::copyFailed(item->path, error));
        }
    }
    host_.setBusy(false);
    tellFailures(failures);
}

void PlaylistCommands::tellFailures(const QStringList& failures) {
    if (!failures.isEmpty()) {
        host_.showStopMessage(failures.join(QLatin1Char('\n')));
    }
}

} // namespace mireldo::playlist
