// The MIME message a session sends, produced piece by piece so that attachments are read from
// disk while they are sent and never held whole in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace mailruntime {

/// One file to attach. The file is opened when the message is built.
struct AttachmentSpec {
    std::string path;
    std::string name; ///< shown to the receiver
};

/// What the message says; addresses are bare (user@host).
struct MessageSpec {
    std::string from;
    std::vector<std::string> to;
    std::vector<std::string> cc;
    std::string subject;
    std::string body;
    std::vector<AttachmentSpec> attachments;
    std::int64_t unixTime = 0; ///< the Date header, seconds since 1970 (UTC)
};

/// The message as a stream of bytes of known total size. One thread at a time.
class MessageStream {
  public:
    /// Opens the attachments and lays out the message. Returns MAIL_SUCCESS, or
    /// MAIL_ATTACHMENT_NOT_FOUND / MAIL_ATTACHMENT_OPEN_FAILURE for the first attachment that is
    /// missing, not a regular file or unreadable.
    std::uint32_t build(const MessageSpec& message);

    /// Total size in bytes of the message (what read() delivers in all).
    std::uint64_t size() const { return size_; }

    /// Copies up to `capacity` next bytes into `out`; 0 at the end. On a read error of an
    /// attachment returns 0 and failed() becomes true.
    size_t read(char* out, size_t capacity);
    bool failed() const { return failed_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    struct Piece {
        std::string text;                            ///< literal text, when file is null
        std::unique_ptr<std::FILE, FileCloser> file; ///< an attachment to encode in base64
        std::uint64_t fileBytes = 0;
    };

    bool refill(Piece& piece);

    std::vector<Piece> pieces_;
    size_t current_ = 0;
    std::string pending_; ///< bytes ready to hand out
    size_t pendingOffset_ = 0;
    std::uint64_t fileLeft_ = 0; ///< bytes of the current attachment not yet read
    bool fileStarted_ = false;
    std::uint64_t size_ = 0;
    bool failed_ = false;
};

/// Base64 of `bytes` in lines of 76 characters, each ending in CRLF.
std::string base64Lines(const std::string& bytes);
/// Size of base64Lines() for `n` input bytes.
std::uint64_t base64LinesSize(std::uint64_t n);
/// `text` as a header value: unchanged when plain ASCII, else RFC 2047 encoded words.
std::string encodeHeaderText(const std::string& text);
/// The Date header value for `unixTime`, in UTC.
std::string formatDate(std::int64_t unixTime);

} // namespace mailruntime
