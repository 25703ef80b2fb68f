#include "native_path.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <unistd.h>

namespace mireldo::platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char b) {
    return (b & 0xC0u) == 0x80u;
}

// Length of the valid UTF-8 sequence starting at `p` (at most `left` bytes), or 0 when the
// byte there does not start one. Surrogates, overlong forms and values above U+10FFFF are
// not valid.
int validSequence(const unsigned char* p, qsizetype left) {
    const unsigned char b = p[0];
    if (b < 0x80u) {
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80u;
    unsigned char high = 0xBFu;
    if (b >= 0xC2u && b <= 0xDFu) {
        length = 2;
    } else if (b >= 0xE0u && b <= 0xEFu) {
        length = 3;
        if (b == 0xE0u) {
            low = 0xA0u; // overlong below U+0800
        } else if (b == 0xEDu) {
            high = 0x9Fu; // U+D800..U+DFFF are surrogates
        }
    } else if (b >= 0xF0u && b <= 0xF4u) {
        length = 4;
        if (b == 0xF0u) {
            low = 0x90u; // overlong below U+10000
        } else if (b == 0xF4u) {
            high = 0x8Fu; // above U+10FFFF
        }
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high) {
        return 0;
    }
    for (int i = 2; i < length; ++i) {
        if (!isContinuation(p[i])) {
            return 0;
        }
    }
    return length;
}

void appendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80u) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800u) {
        out.append(static_cast<char>(0xC0u | (c >> 6)));
        out.append(static_cast<char>(0x80u | (c & 0x3Fu)));
    } else if (c < 0x10000u) {
        out.append(static_cast<char>(0xE0u | (c >> 12)));
        out.append(static_cast<char>(0x80u | ((c >> 6) & 0x3Fu)));
        out.append(static_cast<char>(0x80u | (c & 0x3Fu)));
    } else {
        out.append(static_cast<char>(0xF0u | (c >> 18)));
        out.append(static_cast<char>(0x80u | ((c >> 12) & 0x3Fu)));
        out.append(static_cast<char>(0x80u | ((c >> 6) & 0x3Fu)));
        out.append(static_cast<char>(0x80u | (c & 0x3Fu)));
    }
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

QString decodePath(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    QString out;
    out.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        const int length = validSequence(p + i, size - i);
        if (length == 0) {
            out.append(QChar(static_cast<char16_t>(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        // Valid runs go through Qt's decoder, which agrees with the check above on them.
        qsizetype end = i + length;
        while (end < size) {
            const int next = validSequence(p + end, size - end);
            if (next == 0) {
                break;
            }
            end += next;
        }
        out.append(QString::fromUtf8(bytes.data() + i, end - i));
        i = end;
    }
    return out;
}

QByteArray encodePath(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    const qsizetype size = path.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t u = path.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < size &&
            QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, path.at(i + 1).unicode()));
            ++i;
        } else if (u >= 0xDC80u && u <= 0xDCFFu) {
            out.append(static_cast<char>(u - kEscapeBase)); // an escaped byte
        } else {
            // Any other lone surrogate never came from decodePath(); it is written in the
            // three-byte form, which decodes back as escaped bytes.
            appendUtf8(out, u);
        }
    }
    return out;
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList list;
    list.reserve(argc);
    for (int i = 0; i < argc; ++i) {
        list.append(decodePath(QByteArrayView(argv[i])));
    }
    return list;
}

QString absolutePath(const QString& path) {
    if (path.startsWith(QLatin1Char('/'))) {
        return QDir::cleanPath(path);
    }
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) {
            return QDir::cleanPath(path); // no current folder: the best that can be done
        }
        buffer.resize(buffer.size() * 2);
    }
    return QDir::cleanPath(decodePath(QByteArrayView(buffer.data())) + QLatin1Char('/') + path);
}

std::optional<QStringList> folderEntries(const QString& folder) {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(encodePath(folder).constData()));
    if (!dir) {
        return std::nullopt;
    }
    QStringList names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.append(decodePath(QByteArrayView(entry->d_name)));
        }
        errno = 0;
    }
    if (errno != 0) {
        return std::nullopt;
    }
    return names;
}

std::optional<struct stat> statPath(const QString& path) {
    struct stat st {};
    if (path.isEmpty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    if (::stat(encodePath(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace mireldo::platform
