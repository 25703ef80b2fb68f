// The sound server's sources and sinks through libpulse's threaded main loop. Everything the
// main loop's thread touches (the context, the lists being read, the program's own pending
// changes) is guarded by the main loop's lock; the published state has its own mutex so that
// state() never waits on the server.

#include "pulse_endpoints.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace mireldo::platform::audio {

int PulseSource::volumePercent() const {
    std::uint64_t loudest = 0;
    for (std::uint32_t v : volumes) {
        loudest = std::max<std::uint64_t>(loudest, v);
    }
    const std::uint64_t percent = (loudest * 100 + PA_VOLUME_NORM / 2) / PA_VOLUME_NORM;
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

std::vector<std::uint32_t> scaledVolumes(const std::vector<std::uint32_t>& volumes, int percent) {
    pa_cvolume cv;
    pa_cvolume_init(&cv);
    cv.channels =
        static_cast<std::uint8_t>(std::clamp<std::size_t>(volumes.size(), 1, PA_CHANNELS_MAX));
    for (std::size_t c = 0; c < cv.channels; ++c) {
        cv.values[c] = c < volumes.size() ? volumes[c] : PA_VOLUME_MUTED;
    }
    const auto target = static_cast<pa_volume_t>(
        (static_cast<std::uint64_t>(std::clamp(percent, 0, 100)) * PA_VOLUME_NORM + 50) / 100);
    pa_cvolume_scale(&cv, target);
    return {cv.values, cv.values + cv.channels};
}

namespace {

// The changes the program asked for on one source, with the values from before them: while
// the source shows only values out of these, the changes are still arriving and are the
// program's own. Quick successive changes (a slider being dragged) add to the same record.
struct OwnChange {
    std::vector<std::vector<std::uint32_t>> volumes; // before, and every one asked for
    std::vector<bool> mutes;
    std::vector<std::uint32_t> finalVolumes;
    bool finalMuted = false;

    void add(const PulseSource& before, std::vector<std::uint32_t> newVolumes, bool newMuted) {
        if (volumes.empty()) {
            volumes.push_back(before.volumes);
            mutes.push_back(before.muted);
        }
        volumes.push_back(newVolumes);
        mutes.push_back(newMuted);
        finalVolumes = std::move(newVolumes);
        finalMuted = newMuted;
    }
    bool explains(const PulseSource& s) const {
        return std::find(volumes.begin(), volumes.end(), s.volumes) != volumes.end() &&
               std::find(mutes.begin(), mutes.end(), s.muted) != mutes.end();
    }
    bool completedBy(const PulseSource& s) const {
        return s.volumes == finalVolumes && s.muted == finalMuted;
    }
};

PulseSource sourceFrom(const pa_source_info& i) {
    PulseSource s;
    s.index = i.index;
    s.name = QString::fromUtf8(i.name);
    s.description = QString::fromUtf8(i.description != nullptr ? i.description : i.name);
    s.monitor = i.monitor_of_sink != PA_INVALID_INDEX;
    if (s.monitor && !s.description.startsWith(QStringLiteral("Monitor of "))) {
        s.description = QStringLiteral("Monitor of ") + s.description;
    }
    s.available = i.active_port == nullptr || i.active_port->available != PA_PORT_AVAILABLE_NO;
    s.volumes.assign(i.volume.values, i.volume.values + i.volume.channels);
    s.muted = i.mute != 0;
    return s;
}

} // namespace

struct PulseEndpoints::Impl {
    PulseEndpoints* owner = nullptr;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    bool ready = false; // the context reached READY once

    // Main loop's lock.
    PulseServerState building; // the lists being read
    int outstanding = 0;       // reads of the lists still running
    bool readAgain = false;    // something changed while they ran
    std::uint64_t published = 0;
    std::map<QString, OwnChange> ownChanges;

    // stateMutex.
    mutable std::mutex stateMutex;
    PulseServerState state;

    ~Impl() {
        if (loop != nullptr) {
            pa_threaded_mainloop_stop(loop);
        }
        if (context != nullptr) {
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        if (loop != nullptr) {
            pa_threaded_mainloop_free(loop);
        }
    }

    static void track(pa_operation* op) {
        if (op != nullptr) {
            pa_operation_unref(op);
        }
    }

    // Main loop's thread (or its lock held): reads the defaults, sources and sinks anew.
    void readLists() {
        if (outstanding > 0) {
            readAgain = true;
            return;
        }
        building = PulseServerState{};
        outstanding = 3;
        track(pa_context_get_server_info(context, &Impl::onServerInfo, this));
        track(pa_context_get_source_info_list(context, &Impl::onSourceInfo, this));
        track(pa_context_get_sink_info_list(context, &Impl::onSinkInfo, this));
    }

    void listDone() {
        if (--outstanding > 0) {
            return;
        }
        if (readAgain) {
            readAgain = false;
            readLists();
            return;
        }
        {
            std::lock_guard lock(stateMutex);
            state = building;
        }
        ++published;
        pa_threaded_mainloop_signal(loop, 0);
        Q_EMIT owner->listsChanged();
    }

    static void onServerInfo(pa_context*, const pa_server_info* i, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (i != nullptr) {
            self->building.defaultSource = QString::fromUtf8(i->default_source_name);
            self->building.defaultSink = QString::fromUtf8(i->default_sink_name);
        }
        self->listDone();
    }

    static void onSourceInfo(pa_context*, const pa_source_info* i, int eol, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (eol != 0) {
            self->listDone();
            return;
        }
        if (i != nullptr) {
            self->building.sources.push_back(sourceFrom(*i));
        }
    }

    static void onSinkInfo(pa_context*, const pa_sink_info* i, int eol, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (eol != 0) {
            self->listDone();
            return;
        }
        if (i != nullptr) {
            self->building.sinks.push_back(
                {i->index, QString::fromUtf8(i->name),
                 QString::fromUtf8(i->description != nullptr ? i->description : i->name)});
        }
    }

    // One source changed: update it and report a change another program made.
    static void onChangedSource(pa_context*, const pa_source_info* i, int eol, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (eol != 0 || i == nullptr) {
            return;
        }
        const PulseSource fresh = sourceFrom(*i);
        bool valuesChanged = false;
        {
            std::lock_guard lock(self->stateMutex);
            auto& sources = self->state.sources;
            const auto it = std::find_if(sources.begin(), sources.end(),
                                         [&](const PulseSource& s) { return s.index == i->index; });
            if (it == sources.end()) {
                return; // not listed yet: the list read that is coming brings it
            }
            valuesChanged = it->volumes != fresh.volumes || it->muted != fresh.muted;
            *it = fresh;
        }
        if (!valuesChanged) {
            return;
        }
        if (const auto own = self->ownChanges.find(fresh.name); own != self->ownChanges.end()) {
            if (own->second.explains(fresh)) {
                if (own->second.completedBy(fresh)) {
                    self->ownChanges.erase(own);
                }
                return;
            }
            self->ownChanges.erase(own);
        }
        Q_EMIT self->owner->sourceChanged(fresh);
    }

    static void onEvent(pa_context* c, pa_subscription_event_type_t type, std::uint32_t index,
                        void* data) {
        auto* self = static_cast<Impl*>(data);
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SOURCE && kind == PA_SUBSCRIPTION_EVENT_CHANGE) {
            track(pa_context_get_source_info_by_index(c, index, &Impl::onChangedSource, self));
        } else if (facility == PA_SUBSCRIPTION_EVENT_SERVER ||
                   kind != PA_SUBSCRIPTION_EVENT_CHANGE) {
            // Added or removed sources and sinks, or new defaults.
            self->readLists();
        }
    }

    static void onContextState(pa_context* c, void* data) {
        auto* self = static_cast<Impl*>(data);
        const pa_context_state_t s = pa_context_get_state(c);
        if (s == PA_CONTEXT_READY) {
            self->ready = true;
        } else if (!PA_CONTEXT_IS_GOOD(s) && self->ready) {
            self->ready = false;
            {
                std::lock_guard lock(self->stateMutex);
                self->state = PulseServerState{};
            }
            Q_EMIT self->owner->serverLost();
            Q_EMIT self->owner->listsChanged();
        }
        pa_threaded_mainloop_signal(self->loop, 0);
    }

    // The published state of source `name`, if it is listed.
    std::optional<PulseSource> sourceNamed(const QString& name) const {
        std::lock_guard lock(stateMutex);
        for (const PulseSource& s : state.sources) {
            if (s.name == name) {
                return s;
            }
        }
        return std::nullopt;
    }

    // Window's thread: runs `request` under the main loop's lock; false without a server.
    template <class Request>
    bool send(Request&& request) {
        if (loop == nullptr) {
            return false;
        }
        pa_threaded_mainloop_lock(loop);
        bool sent = false;
        if (pa_context_get_state(context) == PA_CONTEXT_READY) {
            sent = request();
        }
        pa_threaded_mainloop_unlock(loop);
        return sent;
    }
};

PulseEndpoints::PulseEndpoints(QObject* parent) : QObject(parent), impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
}

PulseEndpoints::~PulseEndpoints() = default;

bool PulseEndpoints::start(int timeoutMs) {
    Impl& d = *impl_;
    if (d.loop != nullptr) {
        return d.ready;
    }
    d.loop = pa_threaded_mainloop_new();
    if (d.loop == nullptr) {
        return false;
    }
    d.context = pa_context_new(pa_threaded_mainloop_get_api(d.loop), "Mireldo");
    if (d.context == nullptr) {
        return false;
    }
    pa_context_set_state_callback(d.context, &Impl::onContextState, &d);
    if (pa_context_connect(d.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(d.loop) < 0) {
        return false;
    }

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Waits under the lock for `done`, giving the lock up every few milliseconds so that the
    // deadline is kept even when the server never answers.
    const auto waitFor = [&](auto done) {
        for (;;) {
            pa_threaded_mainloop_lock(d.loop);
            const bool ok = done();
            const bool failed = !PA_CONTEXT_IS_GOOD(pa_context_get_state(d.context));
            pa_threaded_mainloop_unlock(d.loop);
            if (ok) {
                return true;
            }
            if (failed || Clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    };
    if (!waitFor([&] { return d.ready; })) {
        return false;
    }
    pa_threaded_mainloop_lock(d.loop);
    pa_context_set_subscribe_callback(d.context, &Impl::onEvent, &d);
    Impl::track(pa_context_subscribe(
        d.context,
        static_cast<pa_subscription_mask_t>(
            PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
        nullptr, nullptr));
    d.readLists();
    pa_threaded_mainloop_unlock(d.loop);
    return waitFor([&] { return d.published > 0; });
}

bool PulseEndpoints::connected() const {
    return impl_->ready;
}

PulseServerState PulseEndpoints::state() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->state;
}

bool PulseEndpoints::setVolume(const QString& name, int percent) {
    Impl& d = *impl_;
    return d.send([&] {
        const std::optional<PulseSource> current = d.sourceNamed(name);
        if (!current || current->volumes.empty()) {
            return false;
        }
        const std::vector<std::uint32_t> volumes = scaledVolumes(current->volumes, percent);
        pa_cvolume cv;
        pa_cvolume_init(&cv);
        cv.channels = static_cast<std::uint8_t>(volumes.size());
        std::copy(volumes.begin(), volumes.end(), cv.values);
        const QByteArray id = name.toUtf8();
        d.ownChanges[name].add(*current, volumes, false);
        Impl::track(
            pa_context_set_source_mute_by_name(d.context, id.constData(), 0, nullptr, nullptr));
        Impl::track(
            pa_context_set_source_volume_by_name(d.context, id.constData(), &cv, nullptr, nullptr));
        return true;
    });
}

bool PulseEndpoints::setMute(const QString& name, bool muted) {
    Impl& d = *impl_;
    return d.send([&] {
        const std::optional<PulseSource> current = d.sourceNamed(name);
        if (!current) {
            return false;
        }
        OwnChange& change = d.ownChanges[name];
        change.add(*current, change.volumes.empty() ? current->volumes : change.finalVolumes,
                   muted);
        const QByteArray id = name.toUtf8();
        Impl::track(pa_context_set_source_mute_by_name(d.context, id.constData(), muted ? 1 : 0,
                                                       nullptr, nullptr));
        return true;
    });
}

std::optional<PulseServerState> queryPulseServer(int timeoutMs) {
    PulseEndpoints endpoints;
    if (!endpoints.start(timeoutMs)) {
        return std::nullopt;
    }
    return endpoints.state();
}

} // namespace mireldo::platform::audio
