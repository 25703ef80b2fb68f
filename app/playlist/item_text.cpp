#include "item_text.h"

#include "string_table.h"

#include <QStringDecoder>

#include <array>

namespace mireldo::playlist {

namespace {

constexpr int kStrMono = 820;            ///< "mono"
constexpr int kStrStereo = 821;          ///< "stereo"
constexpr int kStrChannels = 822;        ///< "%1 channels"
constexpr int kStrLoadPending = 823;     ///< "Loading pending"
constexpr int kStrLoading = 824;         ///< "Loading..."
constexpr int kStrLoadNotFound = 825;    ///< "Loading failed: File not found."
constexpr int kStrLoadSharing = 826;     ///< "Loading failed: Sharing voilation"
constexpr int kStrLoadCannotOpen = 827;  ///< "Loading failed: Can not open file."
constexpr int kStrLoadDamaged = 828;     ///< "Loading failed: The file might be corrupted."
constexpr int kStrLoadUnsupported = 829; ///< "Loading failed: File format is not recognized."
constexpr int kStrLoadCallRecord = 830;  ///< "Loading failed: Call records can not be loaded here."
constexpr int kStrLoadRuntimeMissing = 831; ///< "Loading failed: Need media player 10+"
constexpr int kStrLoadUnknown = 832;        ///< "Loading failed: Unknown errors occurred."

// Texts from a stream (KLX topic and description) are 8-bit: UTF-8 when they decode as such,
// else Latin-1, so that no byte turns into a replacement character.
QString fromStreamText(const char* text) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(QByteArrayView(text));
    if (!utf8.hasError()) {
        return decoded;
    }
    return QString::fromLatin1(text);
}

QString fileNameWithoutExtension(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    return name;
}

} // namespace

QString itemTitle(const PlaylistItem& item) {
    if (!item.isLoaded()) {
        return item.path;
    }
    std::array<char, 257> topic{};
    if (Sondrel_GetTopic(item.stream, topic.data(), 256) == SONDREL_OK && topic[0] != '\0') {
        topic.back() = '\0';
        return fromStreamText(topic.data());
    }
    return fileNameWithoutExtension(item.path);
}

QString channelName(unsigned channels) {
    if (channels == 1) {
        return loadString(kStrMono);
    }
    if (channels == 2) {
        return loadString(kStrStereo);
    }
    return loadString(kStrChannels).arg(channels);
}

QString infoLine(std::uint32_t lengthFrames, const WAVEFORMATEX& format) {
    const std::uint32_t rate = format.nSamplesPerSec;
    // A rate of 0 never comes from the decoder; it must not divide by zero either.
    const std::uint32_t seconds = rate != 0 ? lengthFrames / rate : 0;
    const std::uint32_t tenths =
        rate != 0 ? static_cast<std::uint32_t>(
                        (static_cast<std::uint64_t>(lengthFrames % rate) * 10) / rate)
                  : 0;
    // Unsigned 32-bit arithmetic, wrapping as the displayed value always has.
    const std::uint32_t kbps = static_cast<std::uint32_t>(format.nAvgBytesPerSec * 8u) / 1000u;
    return QString::asprintf("%02u:%02u:%02u.%u   %u Hz, ", seconds / 3600, (seconds % 3600) / 60,
                             seconds % 60, tenths, rate) +
           channelName(format.nChannels) +
           QString::asprintf(", %u bits, %u kbps", unsigned{format.wBitsPerSample}, kbps);
}

QString itemInfoLine(const PlaylistItem& item) {
    if (!item.isLoaded() || item.format == nullptr) {
        return {};
    }
    return infoLine(item.lengthOrState, *item.format);
}

QString extensionText(const QString& path) {
    return path.right(3).toLower() + QStringLiteral("   ");
}

QString stateText(std::uint32_t state) {
    switch (state) {
    case kStatePending:
        return loadString(kStrLoadPending);
    case kStateLoading:
        return loadString(kStrLoading);
    case SONDREL_ERR_NOT_FOUND:
        return loadString(kStrLoadNotFound);
    case SONDREL_ERR_ACCESS:
        return loadString(kStrLoadSharing);
    case SONDREL_ERR_OPEN:
        return loadString(kStrLoadCannotOpen);
    case SONDREL_ERR_DAMAGED:
        return loadString(kStrLoadDamaged);
    case SONDREL_ERR_UNSUPPORTED:
        return loadString(kStrLoadUnsupported);
    case SONDREL_ERR_CALL_RECORD:
        return loadString(kStrLoadCallRecord);
    case SONDREL_ERR_RUNTIME_MISSING:
        return loadString(kStrLoadRuntimeMissing);
    default:
        return loadString(kStrLoadUnknown);
    }
}

QString itemDescription(const PlaylistItem& item) {
    if (!item.isLoaded()) {
        return {};
    }
    std::array<char, 2050> text{};
    if (Sondrel_GetDescription(item.stream, text.data(), 2049) != SONDREL_OK) {
        return {};
    }
    text.back() = '\0';
    return fromStreamText(text.data());
}

QString tooltipText(const PlaylistItem& item, int index) {
    constexpr qsizetype kMaxTip = 769;
    QString tip = QStringLiteral("%1) ").arg(index + 1) + itemTitle(item);
    if (!item.isLoaded()) {
        return tip.left(kMaxTip);
    }
    tip += QStringLiteral("\r\n") + item.path;
    const qsizetype beforeDescription = tip.size();
    const QString description = itemDescription(item);
    if (!description.isEmpty()) {
        tip += QStringLiteral("\r\n------------------------------------------------\r\n") +
               description;
    }
    if (tip.size() > kMaxTip) {
        const bool descriptionCut = !description.isEmpty() && beforeDescription < kMaxTip;
        tip.truncate(kMaxTip);
        if (descriptionCut) {
            tip += QStringLiteral("...");
        }
    }
    return tip;
}

} // namespace mireldo::playlist
