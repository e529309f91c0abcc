#include "download/TransferRules.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace orv {
namespace {

using platform::TransferFailure;
using Kind = TransferFailure::Kind;

// What a request takes of an address at most: the host, and the path and the query each, in
// characters (the parts' buffers of the system's request hold one character less); and a whole
// address, as a Location resolves to it.
constexpr std::size_t kMaxHost = 256;
constexpr std::size_t kMaxPart = 2048;
constexpr std::size_t kMaxAddress = 4096;

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A URI reference taken apart into its five components (RFC 3986, appendix B): those it does not
// have are none, and a path is always there, if empty.
struct Components {
    std::optional<std::string_view> scheme, authority, query, fragment;
    std::string_view path;
};

Components Split(std::string_view text) {
    Components c;
    std::size_t i = 0;
    if (!text.empty() && IsAlpha(text[0])) {
        std::size_t j = 1;
        while (j < text.size() &&
               (IsAlpha(text[j]) || IsDigit(text[j]) || text[j] == '+' || text[j] == '-' || text[j] == '.'))
            ++j;
        if (j < text.size() && text[j] == ':') {
            c.scheme = text.substr(0, j);
            i = j + 1;
        }
    }
    if (text.substr(i, 2) == "//") {
        const std::size_t end = std::min(text.find_first_of("/?#", i + 2), text.size());
        c.authority = text.substr(i + 2, end - (i + 2));
        i = end;
    }
    std::size_t end = std::min(text.find_first_of("?#", i), text.size());
    c.path = text.substr(i, end - i);
    i = end;
    if (i < text.size() && text[i] == '?') {
        end = std::min(text.find('#', i + 1), text.size());
        c.query = text.substr(i + 1, end - (i + 1));
        i = end;
    }
    if (i < text.size()) c.fragment = text.substr(i + 1);
    return c;
}

// The path without its "." and ".." segments (RFC 3986, 5.2.4): a ".." takes away the segment
// before it, and none above the root.
std::string RemoveDotSegments(std::string_view in) {
    static constexpr std::string_view kRoot = "/";
    std::string out;
    const auto dropLastSegment = [&out] {
        const std::size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.substr(0, 3) == "../") {
            in.remove_prefix(3);
        } else if (in.substr(0, 2) == "./") {
            in.remove_prefix(2);
        } else if (in.substr(0, 3) == "/./") {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = kRoot;
        } else if (in.substr(0, 4) == "/../") {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = kRoot;
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t end = std::min(in.find('/', 1), in.size());
            out.append(in.substr(0, end));
            in.remove_prefix(end);
        }
    }
    return out;
}

// A relative path read against the base's (RFC 3986, 5.2.3): in the base's folder.
std::string Merge(const Components& base, std::string_view path) {
    if (base.authority && base.path.empty()) return std::string("/").append(path);
    const std::size_t slash = base.path.rfind('/');
    if (slash == std::string_view::npos) return std::string(path);
    return std::string(base.path.substr(0, slash + 1)) + std::string(path);
}

// A registered name (letters, digits, "-._~", "%" and the sub-delimiters) or an IP literal in
// brackets (hexadecimal digits, ":" and ".").
bool IsValidHost(std::string_view host) {
    if (host.empty()) return false;
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        for (const char c : host.substr(1, host.size() - 2))
            if (!IsHexDigit(c) && c != ':' && c != '.') return false;
        return true;
    }
    for (const char c : host) {
        if (IsAlpha(c) || IsDigit(c)) continue;
        if (std::string_view("-._~%!$&'()*+,;=").find(c) == std::string_view::npos) return false;
    }
    return true;
}

// A port as written: 1 to 65535 in decimal digits; the scheme's own when it is empty.
std::optional<std::uint16_t> ParsePort(std::string_view text, bool secure) {
    if (text.empty()) return static_cast<std::uint16_t>(secure ? 443 : 80);
    if (text.size() > 5) return std::nullopt;
    std::uint32_t port = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        port = port * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

RedirectStep Refused(Kind kind) {
    RedirectStep step;
    step.action = RedirectStep::Action::Refuse;
    step.refusal = kind;
    return step;
}

} // namespace

TransferFailure TransferFailed(Kind kind, std::uint32_t systemError) {
    TransferFailure f;
    f.kind = kind;
    f.systemError = systemError;
    return f;
}

TransferFailure FailureFromSystemError(std::uint32_t code, bool inBody, std::uint32_t timeoutMs,
                                       std::uint64_t waitedMs) {
    using namespace transfer_error;
    const bool timedOut = timeoutMs != kNoTimeout && waitedMs >= timeoutMs - timeoutMs / 10;
    if ((code == kInternetConnectionAborted || code == kInternetConnectionReset) && timedOut) code = kInternetTimeout;
    switch (code) {
    case kInternetTimeout: return TransferFailed(Kind::Timeout, code);
    case kInternetNameNotResolved: return TransferFailed(Kind::NameNotResolved, code);
    case kInternetCannotConnect: return TransferFailed(Kind::CannotConnect, code);
    case kInternetInvalidCa:
    case kInternetCertCommonNameInvalid:
    case kInternetCertDateInvalid:
    case kInternetCertErrors:
    case kInternetCertRevocationFailed:
    case kInternetCertNoRevocation:
    case kInternetCertRevoked:
    case kInternetInvalidCert:
    case kInternetSecurityChannelError:
        return TransferFailed(Kind::Certificate, code);
    case kInternetConnectionAborted:
    case kInternetConnectionReset:
        return TransferFailed(inBody ? Kind::Truncated : Kind::ConnectionLost, code);
    case kNotEnoughMemory:
    case kOutOfMemory:
        return TransferFailed(Kind::OutOfMemory, code);
    default:
        return TransferFailed(Kind::Other, code);
    }
}

TransferFailure FailureOfBody(const BodyEnd& end) {
    TransferFailure failure;
    if (end.status < 200 || end.status > 299) {
        failure.kind = Kind::HttpStatus;
        failure.httpStatus = end.status;
    } else if (end.readError != 0) {
        failure = FailureFromSystemError(end.readError, true, end.timeoutMs, end.readWaitedMs);
    } else if (end.announced >= 0 && end.received < static_cast<std::uint64_t>(end.announced)) {
        failure.kind = Kind::Truncated;
    }
    if (failure.kind == Kind::Truncated) {
        failure.received = static_cast<std::int64_t>(end.received);
        failure.announced = end.announced;
    }
    return failure;
}

std::optional<std::int64_t> ParseContentLength(std::string_view text) {
    constexpr std::int64_t kLimit = (std::numeric_limits<std::int64_t>::max() - 9) / 10;
    std::int64_t value = 0;
    bool any = false;
    for (const char c : text) {
        if (c == ' ') continue;
        if (!IsDigit(c) || value > kLimit) return std::nullopt;
        value = value * 10 + (c - '0');
        any = true;
    }
    if (!any) return std::nullopt;
    return value;
}

std::optional<WebAddress> ParseWebAddress(std::string_view url) {
    for (const char c : url)
        if (IsControl(c)) return std::nullopt;
    const Components c = Split(url);
    if (!c.scheme || !c.authority) return std::nullopt;
    WebAddress address;
    if (EqualsNoCase(*c.scheme, "https")) address.secure = true;
    else if (!EqualsNoCase(*c.scheme, "http")) return std::nullopt;

    // The user name and password, if any, are passed over: nothing is sent with them.
    std::string_view hostPort = *c.authority;
    const std::size_t at = hostPort.rfind('@');
    if (at != std::string_view::npos) hostPort.remove_prefix(at + 1);
    const std::size_t hostEnd =
        hostPort.substr(0, 1) == "[" ? std::min(hostPort.find(']'), hostPort.size() - 1) + 1 : hostPort.find(':');
    const std::string_view host = hostPort.substr(0, hostEnd);
    std::string_view port = hostEnd < hostPort.size() ? hostPort.substr(hostEnd) : std::string_view();
    if (!port.empty()) {
        if (port.front() != ':') return std::nullopt;
        port.remove_prefix(1);
    }
    const std::optional<std::uint16_t> number = ParsePort(port, address.secure);
    if (!IsValidHost(host) || host.size() >= kMaxHost || !number || c.path.size() >= kMaxPart) return std::nullopt;
    // The query and the fragment together, as the system's request took them apart.
    const std::size_t extra = (c.query ? c.query->size() + 1 : 0) + (c.fragment ? c.fragment->size() + 1 : 0);
    if (extra >= kMaxPart) return std::nullopt;

    address.host = std::string(host);
    address.port = *number;
    // The fragment names a place inside the file, for the one who reads it: it is not asked for.
    address.object = c.path.empty() ? "/" : std::string(c.path);
    if (c.query) address.object.append("?").append(*c.query);
    return address;
}

std::optional<std::string> ResolveReference(std::string_view baseText, std::string_view reference) {
    const Components base = Split(baseText);
    if (!base.scheme) return std::nullopt;
    const Components r = Split(reference);
    std::optional<std::string_view> scheme = base.scheme, authority = base.authority, query = r.query;
    std::string path;
    if (r.scheme) {
        scheme = r.scheme;
        authority = r.authority;
        path = RemoveDotSegments(r.path);
    } else if (r.authority) {
        authority = r.authority;
        path = RemoveDotSegments(r.path);
    } else if (r.path.empty()) {
        path = std::string(base.path);
        if (!r.query) query = base.query;
    } else if (r.path.front() == '/') {
        path = RemoveDotSegments(r.path);
    } else {
        path = RemoveDotSegments(Merge(base, r.path));
    }

    std::string whole = std::string(*scheme).append(":");
    if (authority) whole.append("//").append(*authority);
    whole += path;
    if (query) whole.append("?").append(*query);
    if (r.fragment) whole.append("#").append(*r.fragment);
    if (whole.size() >= kMaxAddress) return std::nullopt;
    return whole;
}

bool IsRedirectStatus(std::int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

RedirectStep RedirectRule::Next(std::string_view from, std::string_view location) {
    RedirectStep step;
    location = TrimBlanks(location);
    if (location.empty()) return step;
    std::optional<std::string> next = ResolveReference(from, location);
    if (!next) return step;
    std::optional<WebAddress> address = ParseWebAddress(*next);
    if (secure_ && (!address || !address->secure)) return Refused(Kind::InsecureRedirect);
    if (!address) return Refused(Kind::BadAddress);
    if (followed_ == kMaxRedirects) return Refused(Kind::TooManyRedirects);
    ++followed_;
    step.action = RedirectStep::Action::Follow;
    step.url = std::move(*next);
    step.address = std::move(*address);
    return step;
}

} // namespace orv
