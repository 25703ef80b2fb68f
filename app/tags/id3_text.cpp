#include "id3_text.h"

#include "byte_reader.h"

#include <QByteArray>

namespace mireldo::tags {

namespace {

bool isUtf16(std::uint8_t encoding) {
    return encoding == 1 || encoding == 2;
}

/// Replaces lone surrogates with what UTF-8 conversion makes of them.
QString sanitized(const QString& text) {
    for (const QChar c : text) {
        if (c.isSurrogate()) {
            return QString::fromUtf8(text.toUtf8());
        }
    }
    return text;
}

} // namespace

std::size_t terminatorWidth(std::uint8_t encoding) {
    return isUtf16(encoding) ? 2 : 1;
}

std::size_t afterTerminator(std::uint8_t encoding, std::span<const std::uint8_t> bytes,
                            std::size_t from) {
    common::ByteReader reader(bytes);
    const std::size_t width = terminatorWidth(encoding);
    for (std::size_t i = from; i + width <= bytes.size(); i += width) {
        if (reader.at(i) == 0 && (width == 1 || reader.at(i + 1) == 0)) {
            return i + width;
        }
    }
    return bytes.size() + 1;
}

QString decodeText(std::uint8_t encoding, std::span<const std::uint8_t> bytes) {
    const std::size_t end = afterTerminator(encoding, bytes, 0);
    const std::size_t width = terminatorWidth(encoding);
    const std::size_t length = end > bytes.size() ? bytes.size() : end - width;
    common::ByteReader reader(bytes);
    const std::span<const std::uint8_t> text = reader.view(length);
    const auto* chars = reinterpret_cast<const char*>(text.data());
    const auto size = static_cast<qsizetype>(text.size());
    if (encoding == 3) {
        return sanitized(QString::fromUtf8(chars, size));
    }
    if (!isUtf16(encoding)) {
        return QString::fromLatin1(chars, size);
    }
    bool bigEndian = encoding == 2;
    std::size_t start = 0;
    if (encoding == 1 && text.size() >= 2) {
        if (text[0] == 0xFE && text[1] == 0xFF) {
            bigEndian = true;
            start = 2;
        } else if (text[0] == 0xFF && text[1] == 0xFE) {
            start = 2;
        }
    }
    QString out;
    out.reserve(static_cast<qsizetype>((text.size() - start) / 2));
    for (std::size_t i = start; i + 1 < text.size(); i += 2) {
        const auto hi = static_cast<char16_t>(bigEndian ? text[i] : text[i + 1]);
        const auto lo = static_cast<char16_t>(bigEndian ? text[i + 1] : text[i]);
        out.append(QChar(static_cast<char16_t>((hi << 8) | lo)));
    }
    return sanitized(out);
}

std::uint8_t encodingFor(const QString& text, int major) {
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            return major >= 4 ? 3 : 1;
        }
    }
    return 0;
}

std::vector<std::uint8_t> encodeText(const QString& text, std::uint8_t encoding) {
    std::vector<std::uint8_t> out;
    if (encoding == 3) {
        const QByteArray utf8 = text.toUtf8();
        out.assign(utf8.begin(), utf8.end());
    } else if (encoding == 1) {
        out.reserve(static_cast<std::size_t>(text.size()) * 2 + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (const QChar c : text) {
            out.push_back(static_cast<std::uint8_t>(c.unicode() & 0xFF));
            out.push_back(static_cast<std::uint8_t>(c.unicode() >> 8));
        }
    } else {
        out = latin1OrQuestion(text);
    }
    return out;
}

std::vector<std::uint8_t> latin1OrQuestion(const QString& text) {
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        out.push_back(c.unicode() > 0xFF ? std::uint8_t{'?'}
                                         : static_cast<std::uint8_t>(c.unicode()));
    }
    return out;
}

} // namespace mireldo::tags
