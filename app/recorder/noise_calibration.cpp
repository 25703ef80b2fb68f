#include "noise_calibration.h"

#include "audio/pulse_wave_in.h"

#include <QCoreApplication>

#include <algorithm>
#include <new>

namespace mireldo::recorder {

using namespace platform::audio;

int proposeNoiseLevel(std::int64_t deviation, int bitsPerSample) {
    for (int level = 0; level <= kMaxNoiseLevel; ++level) {
        // threshold >= 1.5 x deviation, in integers.
        if (2 * silenceThreshold(level, bitsPerSample) >= 3 * deviation) {
            return level;
        }
    }
    return kMaxNoiseLevel;
}

NoiseCalibration::NoiseCalibration(CaptureSession::DeviceOpener openDevice,
                                   CaptureSession::EndpointOpener openEndpoint)
    : openDevice_(std::move(openDevice)), openEndpoint_(std::move(openEndpoint)) {
    if (!openDevice_) {
        openDevice_ = [](int device, const PcmFormat& format, platform::ReceiverHandle owner,
                         DeviceError* error) { return openWaveIn(device, format, owner, error); };
    }
    if (!openEndpoint_) {
        openEndpoint_ = [](const QString& name, const PcmFormat& format,
                           platform::ReceiverHandle owner, DeviceError* error,
                           EndpointFormat* unsupported) {
            return openPulseWaveIn(name, format, owner, error, unsupported);
        };
    }
    for (CaptureBuffer& buffer : buffers_) {
        buffer.block.reset(new (std::nothrow) char[kCaptureBlockBytes]);
        if (!buffer.block) {
            break;
        }
        buffer.header.data = buffer.block.get();
    }
    onMessage<WaveBufferDone>(platform::MM_WIM_DATA, [this](const WaveBufferDone& done) {
        bufferDone(done.device, done.header);
    });
}

NoiseCalibration::~NoiseCalibration() {
    stopReceiving();
    closeDevice();
}

bool NoiseCalibration::start(const CaptureOptions& options, Done done) {
    cancel();
    format_ = captureFormatForRow(options.formatRow);
    const PcmFormat pcm{format_.nChannels, format_.nSamplesPerSec, format_.wBitsPerSample};
    DeviceError error = DeviceError::None;
    EndpointFormat unsupported;
    device_ = options.endpointMode
                  ? openEndpoint_(options.endpointName, pcm, handle(), &error, &unsupported)
                  : openDevice_(options.inputDevice, pcm, handle(), &error);
    if (!device_) {
        return false;
    }
    wanted_ = std::uint64_t{kNoiseMeasureSeconds} * format_.nAvgBytesPerSec;
    measured_ = 0;
    largest_ = 0;
    done_ = std::move(done);
    bool queued = false;
    for (CaptureBuffer& buffer : buffers_) {
        if (!buffer.block) {
            break;
        }
        WaveHeader& h = buffer.header;
        h.bufferLength = kCaptureBufferBytes;
        h.bytesRecorded = 0;
        h.flags = 0;
        if (prepareHeader(h) == DeviceError::None && device_->addBuffer(&h) == DeviceError::None) {
            queued = true;
        } else {
            unprepareHeader(h);
        }
    }
    if (!queued || device_->start() != DeviceError::None) {
        closeDevice();
        done_ = nullptr;
        return false;
    }
    return true;
}

void NoiseCalibration::cancel() {
    done_ = nullptr;
    closeDevice();
}

void NoiseCalibration::closeDevice() {
    if (!device_) {
        return;
    }
    // Every buffer comes back before close() returns. The messages that say so are dropped
    // now: a device opened next may live at the same address and would take them for its own.
    const WaveInPtr device = std::move(device_);
    device->reset();
    device->close();
    QCoreApplication::removePostedEvents(this, platform::MessageEvent::eventType());
    for (CaptureBuffer& buffer : buffers_) {
        if (buffer.block) {
            unprepareHeader(buffer.header);
        }
    }
}

void NoiseCalibration::bufferDone(const void* device, WaveHeader* header) {
    if (header == nullptr || !device_ || device != device_.get()) {
        return;
    }
    WaveHeader& h = *header;
    const std::uint32_t bytes = std::min(h.bytesRecorded, kCaptureBufferBytes);
    const bool endOfInput = (h.flags & WHDR_ENDOFINPUT) != 0;
    if (bytes != 0) {
        largest_ = std::max(largest_, meanDeviation(reinterpret_cast<const unsigned char*>(h.data),
                                                    bytes, format_.wBitsPerSample));
        measured_ += bytes;
    }
    if (measured_ >= wanted_) {
        finish(true);
        return;
    }
    if (endOfInput || bytes == 0) {
        // A finite input ended (what it had is the answer), or the device failed.
        finish(endOfInput && measured_ != 0);
        return;
    }
    unprepareHeader(h);
    h.bytesRecorded = 0;
    h.flags = 0;
    if (prepareHeader(h) != DeviceError::None || device_->addBuffer(&h) != DeviceError::None) {
        finish(false);
    }
}

void NoiseCalibration::finish(bool ok) {
    closeDevice();
    NoiseMeasurement m;
    m.ok = ok;
    m.deviation = largest_;
    m.bitsPerSample = format_.wBitsPerSample;
    m.level = proposeNoiseLevel(largest_, format_.wBitsPerSample);
    Done done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done(m);
    }
}

} // namespace mireldo::recorder
