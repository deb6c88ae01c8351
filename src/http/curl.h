// A thin GET client over libcurl's easy interface and the GET URL builder.
// Callers never see libcurl's headers; option numbers are libcurl's CURLoption values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmora::http {

class ECurl : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A libcurl call returned something other than CURLE_OK; the message is curl_easy_strerror's,
// followed by libcurl's own detail (the error buffer) when it has one.
class ECurlError : public ECurl {
  public:
    ECurlError(int code, const std::string& message) : ECurl(message), Code(code) {}
    int Code;
};

// The easy handle cannot be created.
class ECurlInternal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ICurlStringBuilder {
  public:
    virtual ~ICurlStringBuilder() = default;
    virtual std::string Build() const = 0;
};

class ICurlGetBuilder : public ICurlStringBuilder {
  public:
    // Appends "?name=value" or "&name=value", both percent-encoded (value taken as UTF-8).
    virtual ICurlGetBuilder& Param(std::string_view name, std::string_view value) = 0;
};

// Returns true to abort the transfer in progress.
using TAbortPredicate = std::function<bool()>;

class ICurl {
  public:
    virtual ~ICurl() = default;
    virtual ICurl& SetUserAgent(std::string_view userAgent) = 0;
    virtual ICurl& SetUrl(const ICurlStringBuilder& builder) = 0;
    virtual ICurl& SetOpt(int option, long value) = 0;
    virtual ICurl& SwitchRecvToString() = 0;
    // Checked during a transfer at once after WakeTransfers, else at least once a second; true
    // ends it with CURLE_ABORTED_BY_CALLBACK.
    virtual ICurl& SetAbortPredicate(TAbortPredicate predicate) = 0;
    virtual ICurl& SetTimeouts(long connectMs, long totalMs) = 0;
    // Runs one transfer; throws ECurlError on failure. HTTP error statuses are no failure.
    virtual ICurl& Perform() = 0;
    // The body of the last transfer, raw bytes.
    virtual const std::string& ResponseBody() const = 0;
    // Hands the body's buffer on to the next answer of any client in the process; ResponseBody
    // is empty until the next transfer. Clients that wait with their connections then hold no
    // buffer, and the next answer is written into memory that is already mapped.
    virtual ICurl& ReleaseResponseBody() = 0;
    // The HTTP status of the last transfer; 0 when no answer came.
    virtual long ResponseCode() const = 0;
    // The value of the last transfer's header of that name (any case); empty when absent.
    virtual std::string ResponseHeader(std::string_view name) const = 0;

    // For fetching files from other sites. A body beyond maxBytes (0: no cap; kMaxBodyBytes
    // until set) ends the transfer with CURLE_FILESIZE_EXCEEDED; redirects are followed (http
    // and https only, as every transfer) up to maxRedirects.
    virtual ICurl& SetMaxBodyBytes(std::int64_t maxBytes) = 0;
    virtual ICurl& FollowRedirects(long maxRedirects) = 0;
    // Each transfer sends its request once. Connections are kept, an idle one reused for at most
    // kMaxIdleReuseSeconds; libcurl would send a request again by itself when a reused
    // connection dies before any answer, and that re-send is refused instead: the transfer fails
    // with kGotNothingCode, so that a caller who paces and counts every request sends it again
    // itself. Not with FollowRedirects, whose hops are requests of their own.
    virtual ICurl& SendEachRequestOnce() = 0;
    // Asks for gzip, deflate or brotli and unpacks the answer; the cap of SetMaxBodyBytes
    // counts the unpacked bytes, so a small packed bomb ends the transfer too.
    virtual ICurl& AcceptCompressed() = 0;
};

// Real answers are 0.15-3 MB; a larger body ends the transfer as a failure instead of
// growing without bound.
inline constexpr std::int64_t kMaxBodyBytes = 32ll * 1024 * 1024;
// libcurl's result codes that callers tell apart in ECurlError::Code.
inline constexpr int kCouldNotResolveHostCode = 6;  // CURLE_COULDNT_RESOLVE_HOST
inline constexpr int kCouldNotConnectCode = 7;      // CURLE_COULDNT_CONNECT
inline constexpr int kPartialFileCode = 18;         // CURLE_PARTIAL_FILE
inline constexpr int kHttpReturnedErrorCode = 22;   // CURLE_HTTP_RETURNED_ERROR
inline constexpr int kTimedOutCode = 28;            // CURLE_OPERATION_TIMEDOUT
// A transfer its abort predicate ended (CURLE_ABORTED_BY_CALLBACK).
inline constexpr int kAbortedCode = 42;
inline constexpr int kGotNothingCode = 52;  // CURLE_GOT_NOTHING
inline constexpr int kSendErrorCode = 55;   // CURLE_SEND_ERROR
inline constexpr int kRecvErrorCode = 56;   // CURLE_RECV_ERROR
// A body over the cap of SetMaxBodyBytes (CURLE_FILESIZE_EXCEEDED).
inline constexpr int kBodyTooLargeCode = 63;

// How long SendEachRequestOnce reuses an idle connection (libcurl's default: 118 s). The longer
// a connection idles, the likelier its server closes it just as a request goes out, which then
// costs that request a retry.
inline constexpr long kMaxIdleReuseSeconds = 50;
inline constexpr long kDefaultConnectTimeoutMs = 30'000;
// The service answers within 120 s at most; its slowest analyses need the headroom.
inline constexpr long kDefaultTransferTimeoutMs = 180'000;

// Makes every transfer in progress, in any thread, check its abort predicate now. Call it after
// changing what the predicates read; a transfer then ends within milliseconds, not at its next
// poll.
void WakeTransfers();

// New client with verification on and the default time-outs. Throws ECurlInternal.
std::shared_ptr<ICurl> NewCurlClient();
std::shared_ptr<ICurlGetBuilder> NewGetBuilder(std::string_view baseUrl);

// Percent-encodes every byte but A-Z a-z 0-9 and ! $ ( ) * , - . / @ [ ] _ ~
std::string EncodeQueryPart(std::string_view bytes);

// curl_global_init / curl_global_cleanup once per process; create first in main.
class TCurlGlobal {
  public:
    TCurlGlobal();
    ~TCurlGlobal();
    TCurlGlobal(const TCurlGlobal&) = delete;
    TCurlGlobal& operator=(const TCurlGlobal&) = delete;
};

}  // namespace velmora::http
