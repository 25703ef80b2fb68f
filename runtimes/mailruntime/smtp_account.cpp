#include "smtp_account.h"

namespace mailruntime {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::string> percentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size()) {
                return std::nullopt;
            }
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool hasControl(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

} // namespace

bool hasLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::optional<SmtpAccount> parseProfile(const std::string& profile) {
    SmtpAccount account;
    std::string rest;
    if (profile.rfind("smtp://", 0) == 0) {
        rest = profile.substr(7);
    } else if (profile.rfind("smtps://", 0) == 0) {
        rest = profile.substr(8);
    } else {
        return std::nullopt;
    }
    const std::string scheme = profile.substr(0, profile.find(':'));
    std::string query;
    if (const size_t q = rest.find('?'); q != std::string::npos) {
        query = rest.substr(q + 1);
        rest.resize(q);
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    if (const size_t at = rest.rfind('@'); at != std::string::npos) {
        auto user = percentDecode(rest.substr(0, at));
        if (!user || user->empty()) {
            return std::nullopt;
        }
        account.user = *user;
        rest = rest.substr(at + 1);
    }
    if (rest.empty() || rest.find_first_of("/@ ") != std::string::npos || hasControl(rest)) {
        return std::nullopt;
    }
    account.url = scheme + "://" + rest;
    size_t start = 0;
    while (start < query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string pair = query.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) {
            continue;
        }
        const size_t eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        auto value = percentDecode(eq == std::string::npos ? std::string() : pair.substr(eq + 1));
        if (!value) {
            return std::nullopt;
        }
        if (key == "from") {
            account.from = *value;
        } else if (key == "starttls") {
            account.requireStartTls = *value == "1" || *value == "true";
        } else if (key == "cafile") {
            account.caFile = *value;
        }
    }
    if (account.from.empty() && account.user.find('@') != std::string::npos) {
        account.from = account.user;
    }
    if (account.from.empty() || hasControl(account.from) || hasControl(account.user) ||
        account.from.find_first_of("<> ") != std::string::npos) {
        return std::nullopt;
    }
    return account;
}

} // namespace mailruntime
