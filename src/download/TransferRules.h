// The rules of a transfer that need no system to decide: what a failed system call means, the
// length a Content-Length announces, how a request ended once its body was read, and where a
// redirect may send a download. The transfer control of the backend asks them; it keeps only the
// mechanics (the Internet library, its handles, the worker thread).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/TransferControl.h"

namespace orv {

// The system's error numbers that tell failures apart, as the transfer control hands them over
// (the Internet library's, and Windows' own for memory).
namespace transfer_error {
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kOutOfMemory = 14;
inline constexpr std::uint32_t kInternetTimeout = 12002;
inline constexpr std::uint32_t kInternetNameNotResolved = 12007;
inline constexpr std::uint32_t kInternetCannotConnect = 12029;
inline constexpr std::uint32_t kInternetConnectionAborted = 12030;
inline constexpr std::uint32_t kInternetConnectionReset = 12031;
inline constexpr std::uint32_t kInternetCertDateInvalid = 12037;
inline constexpr std::uint32_t kInternetCertCommonNameInvalid = 12038;
inline constexpr std::uint32_t kInternetInvalidCa = 12045;
inline constexpr std::uint32_t kInternetCertErrors = 12055;
inline constexpr std::uint32_t kInternetCertNoRevocation = 12056;
inline constexpr std::uint32_t kInternetCertRevocationFailed = 12057;
inline constexpr std::uint32_t kInternetSecurityChannelError = 12157;
inline constexpr std::uint32_t kInternetInvalidCert = 12169;
inline constexpr std::uint32_t kInternetCertRevoked = 12170;
} // namespace transfer_error

// A request time-out that never runs out (the system's INFINITE).
inline constexpr std::uint32_t kNoTimeout = 0xFFFFFFFF;

platform::TransferFailure TransferFailed(platform::TransferFailure::Kind kind, std::uint32_t systemError = 0);

// A failed call of the Internet library, as the kind of failure it is. `inBody`: the call was
// reading the body. `waitedMs`: how long it had waited, against the request's `timeoutMs`; some
// versions of the library report a receive time-out as a lost connection, so a connection lost
// after nine tenths of the time-out or more counts as the time-out.
platform::TransferFailure FailureFromSystemError(std::uint32_t code, bool inBody, std::uint32_t timeoutMs,
                                                 std::uint64_t waitedMs);

// How a request ended once the reading of its body stopped.
struct BodyEnd {
    std::int32_t status = 0;         // the final answer's status (0: none understood)
    std::uint32_t readError = 0;     // the system's error that stopped the reading; 0: the body ended
    std::uint64_t readWaitedMs = 0;  // how long that failed read had waited
    std::uint32_t timeoutMs = kNoTimeout;
    std::uint64_t received = 0;      // bytes of the body that came
    std::int64_t announced = -1;     // the Content-Length, -1 when none
};
// An answer other than 2xx fails with its status whatever came of the body; then a failed read;
// then a body shorter than announced. Kind::None when the body is whole.
platform::TransferFailure FailureOfBody(const BodyEnd& end);

// The length that a Content-Length value announces: decimal digits, blanks (spaces) anywhere
// passed over. None (no length announced) for any other character, a sign included, for a value
// without digits, and for a number too large to hold.
std::optional<std::int64_t> ParseContentLength(std::string_view text);

// What a request needs of an address.
struct WebAddress {
    bool secure = false;  // https://
    std::string host;     // as written, without user name and password ("[...]" for an IP literal)
    std::uint16_t port = 0;  // the scheme's own when the address names none
    std::string object;   // the path ("/" when there is none) and the query: what is asked for
};
// The parts of an absolute http:// or https:// address (the scheme in any case) with a host; none
// for anything else: another scheme, no host, a port out of range, a control character anywhere,
// a host that is not a name or an IP literal, or parts longer than a request takes (a host of 256
// characters or more, a path or a query of 2048).
std::optional<WebAddress> ParseWebAddress(std::string_view url);

// The absolute address that `reference` names, read against the absolute address `base` (the
// resolution of RFC 3986, dot segments removed); none when `base` has no scheme or the address
// would take 4096 characters or more.
std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference);

// 301, 302, 303, 307 and 308: answers that send the request on to their Location.
bool IsRedirectStatus(std::int32_t status);

// What to do with a redirect.
struct RedirectStep {
    enum class Action {
        Keep,    // no usable Location: the answer stands as it is, like any other that is not the file
        Follow,  // ask `url` next
        Refuse,  // stop with `refusal`; the address is never asked for
    };
    Action action = Action::Keep;
    std::string url;      // Follow: the next address, whole
    WebAddress address;   // Follow: its parts
    platform::TransferFailure::Kind refusal = platform::TransferFailure::Kind::None;
};

// The redirects of one download. A secure download stays secure on every hop: a single plain hop
// would let anyone on the way choose where the rest goes, so it is followed only to https://
// addresses, and sent anywhere else (or to an address that is not valid) it is refused as
// insecure. A plain download is followed to any http:// or https:// address. Five redirects are
// followed at most (the download server answers at once, and a chain longer than that is more
// likely a loop than a mirror): the sixth is refused, once its address has passed the rules above.
class RedirectRule {
public:
    static constexpr int kMaxRedirects = 5;

    explicit RedirectRule(bool secure) : secure_(secure) {}
    // The redirect of the request for `from` (absolute) to `location`, the Location it gave.
    RedirectStep Next(std::string_view from, std::string_view location);
    int Followed() const { return followed_; }

private:
    bool secure_;
    int followed_ = 0;
};

} // namespace orv
