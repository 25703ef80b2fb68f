#include "converter_choices.h"

#include "encoder_table.h"
#include "profile_store.h"

#include <algorithm>
#include <cstdio>

namespace mireldo::converter {

namespace {

constexpr std::array<int, kTypeCount> kTypeSlots{encoders::kEncodeMp3, encoders::kEncodeWav,
                                                 encoders::kEncodeOgg, encoders::kEncodeWma};
constexpr std::array<const char*, kTypeCount> kTypeExtensions{".mp3", ".wav", ".ogg", ".wma"};

QString section() {
    return QStringLiteral("History");
}

int clampIndex(int value, std::size_t count) {
    return std::clamp(value, 0, static_cast<int>(count) - 1);
}

} // namespace

int encoderSlotOfType(int typeIndex) {
    return kTypeSlots[static_cast<std::size_t>(clampIndex(typeIndex, kTypeCount))];
}

QString extensionOfType(int typeIndex) {
    return QLatin1String(
        kTypeExtensions[static_cast<std::size_t>(clampIndex(typeIndex, kTypeCount))]);
}

std::uint32_t ConverterChoices::outputRate(std::uint32_t sourceRate) const {
    const std::uint32_t chosen =
        kRateChoices[static_cast<std::size_t>(clampIndex(rateIndex, kRateChoices.size()))];
    return chosen == 0 ? sourceRate : chosen;
}

int ConverterChoices::outputChannels(int sourceChannels) const {
    return channelIndex == 1 || channelIndex == 2 ? channelIndex : sourceChannels;
}

std::uint32_t ConverterChoices::bitrate() const {
    return kBitrateChoices[static_cast<std::size_t>(
        clampIndex(bitrateIndex, kBitrateChoices.size()))];
}

ConverterChoices loadChoices(const platform::ProfileStore& store) {
    ConverterChoices c;
    c.destination = store.getString(section(), QStringLiteral("AudioConvertorDestination"), {});
    c.typeIndex = clampIndex(store.getInt(section(), QStringLiteral("AudioConvertorFileType"), 0),
                             kTypeCount);
    c.rateIndex = clampIndex(store.getInt(section(), QStringLiteral("AudioConvertorSampleRate"), 0),
                             kRateChoices.size());
    c.channelIndex =
        clampIndex(store.getInt(section(), QStringLiteral("AudioConvertorChannels"), 0), 3);
    c.bitrateIndex = clampIndex(store.getInt(section(), QStringLiteral("AudioConvertorBitrate"), 5),
                                kBitrateChoices.size());
    return c;
}

void saveChoices(platform::ProfileStore& store, const ConverterChoices& c) {
    store.setString(section(), QStringLiteral("AudioConvertorDestination"), c.destination);
    store.setInt(section(), QStringLiteral("AudioConvertorFileType"), c.typeIndex);
    store.setInt(section(), QStringLiteral("AudioConvertorSampleRate"), c.rateIndex);
    store.setInt(section(), QStringLiteral("AudioConvertorChannels"), c.channelIndex);
    store.setInt(section(), QStringLiteral("AudioConvertorBitrate"), c.bitrateIndex);
}

QString entireFileText() {
    return QStringLiteral("entire file");
}

QString rangeText(const RangeFields& f) {
    return QString::asprintf("%d:%02d:%02d.%d-%d:%02d:%02d.%d", f[0], f[1], f[2], f[3], f[4], f[5],
                             f[6], f[7]);
}

std::optional<RangeFields> parseRangeText(const QString& text) {
    RangeFields f{};
    const QByteArray bytes = text.toLatin1();
    if (std::sscanf(bytes.constData(), "%d:%d:%d.%d-%d:%d:%d.%d", &f[0], &f[1], &f[2], &f[3], &f[4],
                    &f[5], &f[6], &f[7]) != 8) {
        return std::nullopt;
    }
    return f;
}

float secondsOf(int hours, int minutes, int seconds, int tenths) {
    return static_cast<float>(hours * 3600 + minutes * 60 + seconds) +
           static_cast<float>(tenths) * 0.1f;
}

TimeRange rangeOfText(const QString& text) {
    const auto f = parseRangeText(text);
    if (text == entireFileText() || !f) {
        return {};
    }
    return {secondsOf((*f)[0], (*f)[1], (*f)[2], (*f)[3]),
            secondsOf((*f)[4], (*f)[5], (*f)[6], (*f)[7])};
}

QString outputPath(const QString& destination, DestinationKind kind, const QString& sourcePath,
                   int typeIndex) {
    const QString extension = extensionOfType(typeIndex);
    if (kind == DestinationKind::File) {
        QString base = destination;
        const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0) {
            const QString tail = base.mid(dot + 1);
            for (const char* known : kTypeExtensions) {
                if (tail.compare(QLatin1String(known + 1), Qt::CaseInsensitive) == 0) {
                    base.truncate(dot);
                    break;
                }
            }
        }
        return base + extension;
    }
    QString out = destination;
    if (!out.endsWith(QLatin1Char('/'))) {
        out += QLatin1Char('/');
    }
    QString name = fileNameOf(sourcePath);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    return out + name + extension;
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? path.left(slash) : QString();
}

QString fileNameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace mireldo::converter
