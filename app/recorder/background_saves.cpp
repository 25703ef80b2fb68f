#include "background_saves.h"

#include <exception>

namespace mireldo::recorder {

namespace {

// What a background save has of a host: no questions, no cursor, and a progress display that
// turns into reports. The record is complete, so nothing is waited for before a copy.
class WorkerHost final : public FinalisationHost {
  public:
    explicit WorkerHost(std::function<void(int)> progress) : progress_(std::move(progress)) {}

    SaveSettings saveSettings() const override { return {}; }
    std::optional<QString> askSaveAs(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    bool confirm(const QString&) override { return false; }
    void setWaitCursor(bool) override {}
    std::unique_ptr<encoders::CompressProgress> makeProgress() override {
        return std::make_unique<Progress>(progress_);
    }
    void recordSaved(const QString&) override {}
    void sleepMs(int) override {}

  private:
    class Progress final : public encoders::CompressProgress {
      public:
        explicit Progress(std::function<void(int)>& sink) : sink_(sink) {}
        void setPercent(int percent) override {
            if (percent != last_) {
                last_ = percent;
                sink_(percent);
            }
        }
        bool cancelRequested() override { return false; }
        void pause(int) override {} // no dialog to let breathe

      private:
        std::function<void(int)>& sink_;
        int last_ = -1;
    };

    std::function<void(int)> progress_;
};

} // namespace

BackgroundSaves::BackgroundSaves(const encoders::EncoderTable& table, ReportHandler onReport)
    : table_(table), onReport_(std::move(onReport)) {
    onMessage(RECORDER_SAVE_REPORTS, [this](std::uintptr_t, std::intptr_t) { deliver(); });
    worker_ = std::thread([this] { run(); });
}

BackgroundSaves::~BackgroundSaves() {
    stopReceiving();
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void BackgroundSaves::add(SaveJob job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

bool BackgroundSaves::pending() const {
    std::lock_guard lock(mutex_);
    return busy_ || !jobs_.empty() || !reports_.empty();
}

void BackgroundSaves::waitForAll() {
    std::unique_lock lock(mutex_);
    while (busy_ || !jobs_.empty() || !reports_.empty()) {
        if (reports_.empty()) {
            changed_.wait(lock);
            continue;
        }
        lock.unlock();
        deliver();
        lock.lock();
    }
}

void BackgroundSaves::deliver() {
    std::deque<SaveReport> taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(reports_);
    }
    for (const SaveReport& r : taken) {
        if (onReport_) {
            onReport_(r);
        }
    }
}

void BackgroundSaves::report(SaveReport r) {
    {
        std::lock_guard lock(mutex_);
        reports_.push_back(std::move(r));
    }
    changed_.notify_all();
    platform::postMessage(handle(), RECORDER_SAVE_REPORTS);
}

void BackgroundSaves::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty()) {
            if (ending_) {
                return;
            }
            wake_.wait(lock);
            continue;
        }
        SaveJob job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        SaveReport done = save(job);
        report(std::move(done));
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

SaveReport BackgroundSaves::save(SaveJob& job) {
    SaveReport done;
    try {
        if (job.compressed) {
            // The record is complete: its compression gets its final header before the copy.
            job.compressed->close();
        }
        RecordFiles files;
        files.wavPath = job.record.file.path();
        files.dataStart = job.record.dataStart;
        files.format = job.record.format;
        files.compressed = job.compressed.get();
        WorkerHost host([this](int percent) {
            SaveReport progress;
            progress.kind = SaveReport::Kind::Progress;
            progress.percent = percent;
            report(std::move(progress));
        });
        const SaveResult result = saveRecordFile(table_, files, job.target, host);
        done.ok = result.ok;
        done.savedPath = result.path;
    } catch (const std::exception&) {
        done.ok = false; // no exception leaves the worker: the record is kept below
    }
    job.compressed.reset(); // its temporary file goes either way
    if (done.ok) {
        job.record.file.remove();
    } else {
        // Never deleted: closed (the lock released) and left for the next start's recovery.
        done.keptPath = job.record.file.path();
        job.record.file.release();
    }
    return done;
}

} // namespace mireldo::recorder
