#include "playlist_model.h"

#include "list_file.h"
#include "native_path.h"
#include "playlist_texts.h"

#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace mireldo::playlist {

namespace {

QString foldPath(const QString& path) {
    return path.toCaseFolded();
}

std::uint8_t clampSize(int pixels) {
    return static_cast<std::uint8_t>(std::clamp(pixels, 0, 255));
}

} // namespace

ModelPictures ModelPictures::plain(std::size_t defaultCount) {
    ModelPictures p;
    p.loading.assign(4, Picture{});
    p.defaults.assign(std::max<std::size_t>(defaultCount, 1), Picture{});
    return p;
}

PlaylistModel::PlaylistModel(int capacity, ModelPictures pictures)
    : capacity_(std::max(capacity, 1)), pictures_(std::move(pictures)),
      loader_(std::make_unique<ItemLoader>(static_cast<std::size_t>(capacity_), handle())) {
    items_.reserve(static_cast<std::size_t>(capacity_));
    onMessage<LoaderNotice>(LOADER_MSG_STARTED,
                            [this](const LoaderNotice& n) { onLoadingStarted(n.item); });
    onMessage<LoaderNotice>(LOADER_MSG_DONE,
                            [this](const LoaderNotice& n) { onLoadingDone(n.item, n.result); });
}

PlaylistModel::~PlaylistModel() {
    shutdown();
    // Reports still queued would name items freed below.
    stopReceiving();
    for (PlaylistItem* item : items_) {
        freeItem(item);
    }
    for (PlaylistItem* item : removed_) {
        freeItem(item);
    }
}

void PlaylistModel::freeItem(PlaylistItem* item) {
    if (item->stream != nullptr) {
        Sondrel_CloseStream(item->stream);
    }
    // A result the loader handed over that the window never took.
    if (item->handOver != nullptr && item->handOver != item->stream) {
        Sondrel_CloseStream(item->handOver);
    }
    delete item;
}

void PlaylistModel::setOpener(ItemLoader::Opener opener) {
    loader_->setOpener(std::move(opener));
}

bool PlaylistModel::initialise(const QString& listPath, ListAccess access, int lockWaitMs) {
    listPath_ = listPath;
    const bool started = loader_->start();
    listStatus_ = access == ListAccess::Read ? ListStatus::ReadOnly : ListStatus::Writable;
    if (access == ListAccess::Write &&
        lock_.acquire(listPath, lockWaitMs) == ListFileLock::Result::Busy) {
        listStatus_ = ListStatus::Busy;
        listNotice_ = texts::listInUse(listPath);
    }
    // A lock that failed otherwise means the file cannot even be created: there is nothing
    // to protect, and saves fail on their own.
    const ListFileRead read =
        readListFile(listPath, [this](ListEntry entry) { addPath(entry.path, entry.kind); });
    listFileState_ = read.state;
    if (listStatus_ != ListStatus::Writable) {
        return started;
    }
    if (read.state == ListFileState::Unreadable) {
        listStatus_ = ListStatus::Kept;
        listNotice_ = texts::listUnreadable(listPath, platform::systemError(read.error));
        lock_.release();
        return started;
    }
    if (read.state == ListFileState::Refused) {
        // Not a list we can read (another file given by mistake, a newer version, a file cut
        // short): it is kept before anything is written under its name.
        QString reason;
        const QString backup = backUpListFile(listPath, &reason);
        if (backup.isEmpty()) {
            listStatus_ = ListStatus::Kept;
            listNotice_ = texts::listBackupFailed(listPath, reason);
            lock_.release();
            return started;
        }
        listNotice_ = texts::listBackedUp(listPath, backup);
    }
    save();
    return started;
}

void PlaylistModel::showPending(PlaylistItem& item) const {
    item.images = pictures_.loading.data();
    item.imageCount = 1;
    item.imageIndex = 0;
    item.imageWidth = clampSize(pictures_.loading.front().width);
    item.imageHeight = clampSize(pictures_.loading.front().height);
}

int PlaylistModel::addPath(const QString& path, std::uint8_t kind) {
    if (path.isEmpty() || path.contains(QChar(u'\0')) ||
        platform::encodePath(path).size() > kMaxPathBytes) {
        return kAddRefused;
    }
    const QString folded = foldPath(path);
    if (foldedPaths_.contains(folded)) {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (foldPath(items_[i]->path) == folded) {
                return static_cast<int>(i);
            }
        }
    }
    if (count() >= capacity_) {
        return capacity_;
    }
    auto* item = new PlaylistItem;
    item->kind = static_cast<std::uint8_t>(kind % 6);
    item->path = path;
    showPending(*item);
    items_.push_back(item);
    foldedPaths_.insert(folded);
    const int index = count() - 1;
    if (listener_ != nullptr) {
        listener_->itemAdded(index);
    }
    loader_->queue(item);
    return index;
}

int PlaylistModel::addFile(const QString& path) {
    const int index = addPath(path, 0);
    modified_ = true;
    save();
    return index;
}

QString PlaylistModel::removeItem(int index, bool deleteFile) {
    if (index < 0 || index >= count()) {
        return {};
    }
    PlaylistItem* item = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    foldedPaths_.remove(foldPath(item->path));
    modified_ = true;

    QString error;
    std::lock_guard guard(loader_->lock());
    const bool loaded = item->isLoaded();
    const bool failed = item->hasFailed();
    if (loaded) {
        Sondrel_CloseStream(item->stream);
        item->stream = nullptr;
        item->format = nullptr;
    }
    if (deleteFile && ::unlink(platform::encodePath(item->path).constData()) != 0) {
        error = platform::systemError(errno);
    }
    if (loaded || failed) {
        delete item;
    } else {
        // Pending or loading: the loader may hold it and hands it back with LOADER_MSG_DONE.
        item->imageCount = kImageCountRemoved;
        removed_.push_back(item);
    }
    return error;
}

QString PlaylistModel::moveItemFile(int index, const QString& newPath) {
    if (index < 0 || index >= count()) {
        return platform::systemError(EINVAL);
    }
    if (newPath.isEmpty() || platform::encodePath(newPath).size() > kMaxPathBytes) {
        return platform::systemError(ENAMETOOLONG);
    }
    PlaylistItem* item = items_[static_cast<std::size_t>(index)];
    // The path changes under the lock: the loader copies a queued item's path under it. An
    // open stream keeps reading the renamed file; reloadItem() opens it under its new name.
    std::lock_guard guard(loader_->lock());
    const QByteArray from = platform::encodePath(item->path);
    const QByteArray to = platform::encodePath(newPath);
    // Never replace a file that is already there under the new name.
    int rc = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace flag: a hard link fails on an existing name.
        rc = ::link(from.constData(), to.constData());
        if (rc == 0 && ::unlink(from.constData()) != 0) {
            const int saved = errno;
            ::unlink(to.constData());
            errno = saved;
            rc = -1;
        }
    }
    if (rc != 0) {
        return platform::systemError(errno);
    }
    foldedPaths_.remove(foldPath(item->path));
    item->path = newPath;
    foldedPaths_.insert(foldPath(newPath));
    modified_ = true;
    return {};
}

void PlaylistModel::reloadItem(int index) {
    if (index < 0 || index >= count()) {
        return;
    }
    PlaylistItem* item = items_[static_cast<std::size_t>(index)];
    {
        std::lock_guard guard(loader_->lock());
        if (!item->isLoaded() && !item->hasFailed()) {
            return; // pending or loading: in the loader's hands already
        }
        if (item->isLoaded()) {
            Sondrel_CloseStream(item->stream);
        }
        item->stream = nullptr;
        item->format = nullptr;
        item->lengthOrState = kStatePending;
        item->streamPictures.clear();
        showPending(*item);
    }
    if (listener_ != nullptr) {
        listener_->itemChanged(index);
    }
    loader_->queue(item);
}

void PlaylistModel::swapItems(int a, int b) {
    if (a < 0 || b < 0 || a >= count() || b >= count()) {
        return;
    }
    std::swap(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]);
    modified_ = true;
}

bool PlaylistModel::save() {
    if (listPath_.isEmpty() || listStatus_ != ListStatus::Writable) {
        return false;
    }
    std::vector<ListEntry> entries;
    entries.reserve(items_.size());
    for (const PlaylistItem* item : items_) {
        entries.push_back(ListEntry{item->path, item->kind});
    }
    const auto now = static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch());
    if (!writeListFile(listPath_, buildListFile(entries, now), &lock_)) {
        return false;
    }
    modified_ = false;
    return true;
}

void PlaylistModel::load(const QString& listPath) {
    readListFile(listPath, [this](ListEntry entry) { addPath(entry.path, entry.kind); });
}

void PlaylistModel::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    if (modified_) {
        save();
    }
    loader_->stop(30000);
    lock_.release();
}

int PlaylistModel::indexOf(const PlaylistItem* item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool PlaylistModel::isSettled() const {
    if (!removed_.empty()) {
        return false;
    }
    return std::none_of(items_.begin(), items_.end(), [](const PlaylistItem* item) {
        return !item->isLoaded() &&
               (item->lengthOrState == kStatePending || item->lengthOrState == kStateLoading);
    });
}

void PlaylistModel::onLoadingStarted(PlaylistItem* item) {
    if (item == nullptr || item->imageCount == kImageCountRemoved) {
        return;
    }
    item->lengthOrState = kStateLoading;
    item->images = pictures_.loading.data();
    item->imageCount =
        static_cast<std::int8_t>(std::min<std::size_t>(pictures_.loading.size(), 127));
    if (listener_ != nullptr) {
        listener_->itemChanged(indexOf(item));
    }
}

void PlaylistModel::onLoadingDone(PlaylistItem* item, std::intptr_t result) {
    if (item == nullptr) {
        return;
    }
    SondrelStream* stream = nullptr;
    {
        std::lock_guard guard(loader_->lock());
        stream = item->handOver;
        item->handOver = nullptr;
    }
    if (item->imageCount == kImageCountRemoved) {
        if (stream != nullptr) {
            Sondrel_CloseStream(stream);
        }
        removed_.erase(std::remove(removed_.begin(), removed_.end(), item), removed_.end());
        delete item;
        return;
    }
    // An item queued twice (reloaded before its first load ended) keeps the newest stream.
    if (item->stream != nullptr && item->stream != stream) {
        Sondrel_CloseStream(item->stream);
    }
    item->stream = stream;
    item->format = nullptr;
    item->streamPictures.clear();
    if (stream != nullptr) {
        std::uint32_t frames = 0;
        Sondrel_GetStreamLength(stream, &frames);
        item->lengthOrState = frames;
        WAVEFORMATEX* format = nullptr;
        Sondrel_GetStreamFormat(stream, &format);
        item->format = format;

        SondrelBitmap* bitmaps = nullptr;
        std::int16_t bitmapCount = 0;
        if (Sondrel_GetImageArray(stream, &bitmaps, &bitmapCount) == SONDREL_OK &&
            bitmaps != nullptr && bitmapCount > 0) {
            // The row keeps at least the size it had (that of the pending picture).
            int width = item->imageWidth;
            int height = item->imageHeight;
            const int shown = std::min<int>(bitmapCount, 127);
            for (int i = 0; i < shown; ++i) {
                Picture picture;
                picture.streamImage = bitmaps[i];
                picture.width = 0;
                picture.height = 0;
                if (bitmaps[i] != nullptr) {
                    const std::int64_t w = bitmaps[i]->header.biWidth;
                    const std::int64_t h = bitmaps[i]->header.biHeight;
                    picture.width = static_cast<int>(std::min<std::int64_t>(w < 0 ? -w : w, 255));
                    picture.height = static_cast<int>(std::min<std::int64_t>(h < 0 ? -h : h, 255));
                }
                width = std::max(width, picture.width);
                height = std::max(height, picture.height);
                item->streamPictures.push_back(picture);
            }
            item->images = item->streamPictures.data();
            item->imageCount = static_cast<std::int8_t>(shown);
            item->imageWidth = clampSize(width);
            item->imageHeight = clampSize(height);
        } else {
            item->images = pictures_.defaults.data();
            item->imageCount =
                static_cast<std::int8_t>(std::min<std::size_t>(pictures_.defaults.size(), 127));
            item->imageWidth = clampSize(pictures_.defaults.front().width);
            item->imageHeight = clampSize(pictures_.defaults.front().height);
        }
    } else {
        item->images = &pictures_.failed;
        item->imageCount = 1;
        item->lengthOrState = result == 0 ? SONDREL_ERR_OPEN : static_cast<std::uint32_t>(result);
    }
    item->imageIndex = 0;
    if (listener_ != nullptr) {
        listener_->itemChanged(indexOf(item));
    }
}

} // namespace mireldo::playlist
