#include "mail_message.h"

#include "mailruntime_api.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace mailruntime {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
/// Input bytes per base64 line of 76 characters.
constexpr size_t kLineInput = 57;
/// Lines encoded per refill of an attachment.
constexpr size_t kLinesPerChunk = 1024;

void appendBase64(std::string& out, const unsigned char* in, size_t n) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (n - i == 1) {
        const unsigned v = unsigned(in[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (n - i == 2) {
        const unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
}

void appendBase64Lines(std::string& out, const unsigned char* in, size_t n) {
    for (size_t i = 0; i < n; i += kLineInput) {
        appendBase64(out, in + i, std::min(kLineInput, n - i));
        out += "\r\n";
    }
}

bool isPlainAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7f;
    });
}

std::string randomHex(size_t bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::string out;
    for (size_t i = 0; i < bytes; ++i) {
        const unsigned v = device() & 0xffu;
        out += kHex[v >> 4];
        out += kHex[v & 15];
    }
    return out;
}

/// Line ends as CRLF whatever the caller used (LF, CR or CRLF).
std::string crlfLines(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

/// A file name as a Content-Disposition / Content-Type parameter.
std::string fileNameParameter(const char* key, const std::string& name) {
    if (isPlainAscii(name)) {
        std::string quoted = std::string(key) + "=\"";
        for (char c : name) {
            if (c == '"' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        return quoted + "\"";
    }
    // RFC 2231: charset, empty language, percent-encoded octets.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded = std::string(key) + "*=UTF-8''";
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

std::string joinAddresses(const std::vector<std::string>& addresses) {
    std::string out;
    for (const auto& a : addresses) {
        if (!out.empty()) {
            out += ",\r\n ";
        }
        out += a;
    }
    return out;
}

} // namespace

std::string base64Lines(const std::string& bytes) {
    std::string out;
    appendBase64Lines(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return out;
}

std::uint64_t base64LinesSize(std::uint64_t n) {
    const std::uint64_t fullLines = n / kLineInput;
    const std::uint64_t rest = n % kLineInput;
    return fullLines * 78 + (rest == 0 ? 0 : (rest + 2) / 3 * 4 + 2);
}

std::string encodeHeaderText(const std::string& text) {
    if (isPlainAscii(text)) {
        return text;
    }
    // Encoded words of at most 45 input bytes (60 characters of base64), never splitting a
    // UTF-8 sequence, folded onto continuation lines.
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = std::min(text.size(), i + 45);
        while (end < text.size() && end > i + 1 &&
               (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) {
            --end;
        }
        if (!out.empty()) {
            out += "\r\n ";
        }
        out += "=?UTF-8?B?";
        appendBase64(out, reinterpret_cast<const unsigned char*>(text.data() + i), end - i);
        out += "?=";
        i = end;
    }
    return out;
}

std::string formatDate(std::int64_t unixTime) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%s, %02d %s %04d %02d:%02d:%02d +0000",
                  kDays[tm.tm_wday % 7], tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text.data();
}

std::uint32_t MessageStream::build(const MessageSpec& message) {
    pieces_.clear();
    current_ = 0;
    pending_.clear();
    pendingOffset_ = 0;
    fileStarted_ = false;
    failed_ = false;

    const std::string boundary = "=_mireldo_" + randomHex(12);
    const std::string domain = message.from.substr(message.from.rfind('@') + 1);
    std::string head;
    head += "Date: " + formatDate(message.unixTime) + "\r\n";
    head += "From: " + message.from + "\r\n";
    if (!message.to.empty()) {
        head += "To: " + joinAddresses(message.to) + "\r\n";
    }
    if (!message.cc.empty()) {
        head += "Cc: " + joinAddresses(message.cc) + "\r\n";
    }
    head += "Subject: " + encodeHeaderText(message.subject) + "\r\n";
    head += "Message-ID: <" + randomHex(16) + "." + std::to_string(message.unixTime) + "@" +
            (domain.empty() || domain == message.from ? std::string("localhost") : domain) +
            ">\r\n";
    head += "MIME-Version: 1.0\r\n";
    head += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    head += "\r\n";
    head += "--" + boundary + "\r\n";
    head += "Content-Type: text/plain; charset=UTF-8\r\n";
    head += "Content-Transfer-Encoding: base64\r\n\r\n";
    head += base64Lines(crlfLines(message.body));

    std::string text = std::move(head);
    for (const auto& a : message.attachments) {
        // Open first, then check what was opened: no window for the path to change in between.
        struct stat pathInfo {};
        if (::stat(a.path.c_str(), &pathInfo) != 0) {
            return errno == ENOENT || errno == ENOTDIR ? MAIL_ATTACHMENT_NOT_FOUND
                                                       : MAIL_ATTACHMENT_OPEN_FAILURE;
        }
        if (!S_ISREG(pathInfo.st_mode)) {
            return MAIL_ATTACHMENT_OPEN_FAILURE;
        }
        const int fd = ::open(a.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) {
            return errno == ENOENT ? MAIL_ATTACHMENT_NOT_FOUND : MAIL_ATTACHMENT_OPEN_FAILURE;
        }
        std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "rb"));
        if (!file) {
            ::close(fd);
            return MAIL_ATTACHMENT_OPEN_FAILURE;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            return MAIL_ATTACHMENT_OPEN_FAILURE;
        }
        text += "--" + boundary + "\r\n";
        text +=
            "Content-Type: application/octet-stream; " + fileNameParameter("name", a.name) + "\r\n";
        text += "Content-Transfer-Encoding: base64\r\n";
        text += "Content-Disposition: attachment; " + fileNameParameter("filename", a.name) +
                "\r\n\r\n";
        Piece literal;
        literal.text = std::move(text);
        text.clear();
        pieces_.push_back(std::move(literal));
        Piece body;
        body.file = std::move(file);
        body.fileBytes = static_cast<std::uint64_t>(info.st_size);
        pieces_.push_back(std::move(body));
    }
    text += "--" + boundary + "--\r\n";
    Piece tail;
    tail.text = std::move(text);
    pieces_.push_back(std::move(tail));

    size_ = 0;
    for (const auto& p : pieces_) {
        size_ += p.file ? base64LinesSize(p.fileBytes) : p.text.size();
    }
    return MAIL_SUCCESS;
}

bool MessageStream::refill(Piece& piece) {
    if (!piece.file) {
        pending_ = std::move(piece.text);
        piece.text.clear();
        return true;
    }
    if (!fileStarted_) {
        fileStarted_ = true;
        fileLeft_ = piece.fileBytes;
    }
    // Encode the next whole lines; only the file's last line may be short.
    std::array<unsigned char, kLineInput * kLinesPerChunk> chunk{};
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(chunk.size(), fileLeft_));
    const size_t got = std::fread(chunk.data(), 1, want, piece.file.get());
    if (got != want) {
        // The file shrank or could not be read: the size announced would be wrong.
        failed_ = true;
        return false;
    }
    fileLeft_ -= got;
    pending_.clear();
    appendBase64Lines(pending_, chunk.data(), got);
    return true;
}

size_t MessageStream::read(char* out, size_t capacity) {
    size_t written = 0;
    while (written < capacity && !failed_) {
        if (pendingOffset_ < pending_.size()) {
            const size_t n = std::min(capacity - written, pending_.size() - pendingOffset_);
            std::copy_n(pending_.data() + pendingOffset_, n, out + written);
            pendingOffset_ += n;
            written += n;
            continue;
        }
        pending_.clear();
        pendingOffset_ = 0;
        if (current_ >= pieces_.size()) {
            break;
        }
        Piece& piece = pieces_[current_];
        if (piece.file && fileStarted_ && fileLeft_ == 0) {
            piece.file.reset();
            fileStarted_ = false;
            ++current_;
            continue;
        }
        if (!refill(piece)) {
            return 0;
        }
        if (!piece.file) {
            ++current_;
        }
    }
    return written;
}

} // namespace mailruntime
