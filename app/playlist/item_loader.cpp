#include "item_loader.h"

#include "auto_reset_event.h"
#include "native_path.h"
#include "unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>
#include <vector>

namespace mireldo::playlist {

// Shared by the window thread and the loader thread; the thread holds its own reference, so a
// thread that outlives a timed-out stop() still has valid events, lock and queue.
struct ItemLoader::Context {
    platform::ReceiverHandle notify;
    platform::AutoResetEvent started;
    platform::AutoResetEvent exited;
    platform::AutoResetEvent work;
    std::mutex lock;
    bool quit = false; // under lock
    // Ring buffer of items, under lock. It grows when full: removed items still waiting to be
    // handed back can make more entries than the list holds.
    std::vector<PlaylistItem*> ring;
    std::size_t head = 0;
    std::size_t count = 0;
    Opener opener = openWithSondrel;
    std::thread thread;

    void push(PlaylistItem* item) {
        if (count == ring.size()) {
            std::vector<PlaylistItem*> bigger(ring.empty() ? 16 : ring.size() * 2);
            for (std::size_t i = 0; i < count; ++i) {
                bigger[i] = ring[(head + i) % ring.size()];
            }
            ring = std::move(bigger);
            head = 0;
        }
        ring[(head + count) % ring.size()] = item;
        ++count;
    }

    PlaylistItem* pop() {
        PlaylistItem* item = ring[head];
        head = (head + 1) % ring.size();
        --count;
        return item;
    }

    bool quitting() {
        std::lock_guard guard(lock);
        return quit;
    }

    // Posts until the window takes the message, or gives up once quitting.
    void post(std::uint32_t msg, PlaylistItem* item, std::int32_t result) {
        while (!platform::postMessage(notify, msg, LoaderNotice{item, result})) {
            if (quitting()) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kPostRetryMs));
            if (quitting()) {
                return;
            }
        }
    }

    void run();
};

void ItemLoader::Context::run() {
    started.set();
    for (;;) {
        work.wait();
        std::unique_lock guard(lock);
        while (count != 0) {
            PlaylistItem* item = pop();
            if (quit) {
                continue; // dropped: the window thread may already have freed it
            }
            item->handOver = nullptr;
            if (item->imageCount == kImageCountRemoved) {
                guard.unlock();
                post(LOADER_MSG_DONE, item, SONDREL_ERR_ACCESS);
                guard.lock();
                continue;
            }
            // The window thread does not change a queued item's path, so a copy taken under
            // the lock is what it holds.
            const QString path = item->path;
            guard.unlock();
            post(LOADER_MSG_STARTED, item, 0);

            SondrelStream* stream = nullptr;
            std::int32_t result = SONDREL_ERR_OPEN;
            try {
                result = opener(&stream, path);
            } catch (...) {
                result = SONDREL_ERR_OPEN; // nothing may leave the thread
            }
            if (result != SONDREL_OK) {
                stream = nullptr;
            } else if (stream == nullptr) {
                result = SONDREL_ERR_OPEN;
            } else {
                std::uint32_t frames = 0;
                const std::int32_t lengthResult = Sondrel_GetStreamLength(stream, &frames);
                if (lengthResult != SONDREL_OK || frames == 0) {
                    result = lengthResult != SONDREL_OK ? lengthResult : SONDREL_ERR_EMPTY;
                    Sondrel_CloseStream(stream);
                    stream = nullptr;
                }
            }

            guard.lock();
            if (quit) {
                // The window no longer expects a report and may be deleting its items.
                guard.unlock();
                if (stream != nullptr) {
                    Sondrel_CloseStream(stream);
                }
                guard.lock();
                continue;
            }
            item->handOver = stream;
            guard.unlock();
            post(LOADER_MSG_DONE, item, result);
            guard.lock();
        }
        if (quit) {
            guard.unlock();
            exited.set();
            return;
        }
    }
}

std::int32_t refuseSpecialFile(const QByteArray& name) {
    // Only the kind of file is asked here; open failures are the decoder's to report.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return SONDREL_OK;
    }
    if (!S_ISREG(st.st_mode)) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    // Opened without blocking (a FIFO put there since the stat would otherwise wait for a
    // writer for good) and checked once more on what was opened.
    const platform::UniqueFd fd(
        ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.valid() && ::fstat(fd.get(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return SONDREL_ERR_UNSUPPORTED;
    }
    return SONDREL_OK;
}

std::int32_t openWithSondrel(SondrelStream** stream, const QString& path) {
    const QByteArray name = platform::encodePath(path);
    // A FIFO, socket or device has no length and may never end; some readers would wait on
    // one for good, and every later item with them.
    if (const std::int32_t refused = refuseSpecialFile(name); refused != SONDREL_OK) {
        return refused;
    }
    return Sondrel_OpenStream(stream, name.constData(), 1, 1);
}

ItemLoader::ItemLoader(std::size_t capacity, platform::ReceiverHandle notify)
    : context_(std::make_shared<Context>()) {
    context_->notify = notify;
    context_->ring.resize(capacity == 0 ? 1 : capacity);
}

ItemLoader::~ItemLoader() {
    stop();
}

void ItemLoader::setOpener(Opener opener) {
    context_->opener = opener ? std::move(opener) : Opener(openWithSondrel);
}

bool ItemLoader::start() {
    if (running_) {
        return true;
    }
    try {
        std::shared_ptr<Context> context = context_;
        context_->thread = std::thread([context] { context->run(); });
    } catch (const std::system_error&) {
        return false;
    }
    context_->started.wait();
    running_ = true;
    return true;
}

void ItemLoader::queue(PlaylistItem* item) {
    {
        std::lock_guard guard(context_->lock);
        context_->push(item);
    }
    context_->work.set();
}

bool ItemLoader::stop(std::uint32_t timeoutMs) {
    if (!running_) {
        return true;
    }
    running_ = false;
    {
        std::lock_guard guard(context_->lock);
        context_->quit = true;
    }
    context_->work.set();
    if (context_->exited.waitFor(timeoutMs)) {
        context_->thread.join();
        return true;
    }
    // Still opening a file: let it finish on its own. It holds the context and, with the quit
    // flag set, touches no item again.
    context_->thread.detach();
    return false;
}

std::mutex& ItemLoader::lock() {
    return context_->lock;
}

std::size_t ItemLoader::queuedCount() {
    std::lock_guard guard(context_->lock);
    return context_->count;
}

} // namespace mireldo::playlist
