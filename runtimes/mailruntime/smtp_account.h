// The account a session sends through, read from the profile name given at log-on.
#pragma once

#include <optional>
#include <string>

namespace mailruntime {

/// Where and how to reach the SMTP server of one account.
struct SmtpAccount {
    std::string url;      ///< smtp://host:port or smtps://host:port, without user or query
    std::string user;     ///< empty: no log-in
    std::string password; ///< empty: ~/.netrc when a user is named
    std::string from;     ///< the sender's address (MAIL FROM and the From header)
    std::string caFile;   ///< extra certificate authority to trust; empty: the system's
    bool requireStartTls = false;
};

/// Reads `smtp[s]://[user@]host[:port][?from=ADDR&starttls=1&cafile=PATH]`; nullopt when the
/// text is not such an address or holds a control character.
std::optional<SmtpAccount> parseProfile(const std::string& profile);

/// True when `text` holds a CR, an LF or a NUL (which would end or inject a header line).
bool hasLineBreak(const std::string& text);

} // namespace mailruntime
