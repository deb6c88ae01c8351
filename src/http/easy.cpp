// The libcurl easy client. Transfers run through a private multi handle so that the abort
// predicate is consulted even while the peer sends nothing (libcurl's own progress callback
// fires only about once a second on an idle connection): at once after WakeTransfers, else
// every kAbortPollMs.
#include <curl/curl.h>

#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "http/curl.h"
#include "http/streams.h"

namespace velmora::http {
namespace {

// Waking a waiting transfer costs CPU; an abort wakes it through WakeTransfers instead.
constexpr int kAbortPollMs = 1000;

// Multi handles with a transfer in progress, for WakeTransfers.
std::mutex gActiveLock;
std::vector<CURLM*> gActive;

class TActiveTransfer {
  public:
    explicit TActiveTransfer(CURLM* multi) : FMulti(multi) {
        std::lock_guard lock(gActiveLock);
        gActive.push_back(multi);
    }
    ~TActiveTransfer() {
        std::lock_guard lock(gActiveLock);
        std::erase(gActive, FMulti);
    }
    TActiveTransfer(const TActiveTransfer&) = delete;
    TActiveTransfer& operator=(const TActiveTransfer&) = delete;

  private:
    CURLM* FMulti;
};

[[noreturn]] void ThrowCurl(CURLcode code, const char* detail = nullptr,
                            std::int64_t bodyLimit = kMaxBodyBytes) {
    std::string message = curl_easy_strerror(code);
    if (code == CURLE_FILESIZE_EXCEEDED) {
        message = "answer larger than " + std::to_string(bodyLimit / (1024 * 1024)) + " MB";
    } else if (code != CURLE_ABORTED_BY_CALLBACK && detail != nullptr && *detail != '\0' &&
               message != detail) {
        // The buffer names the cause (a self-signed certificate, a name mismatch, the port).
        std::string_view text(detail);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
        message += ": ";
        message += text;
    }
    throw ECurlError(static_cast<int>(code), message);
}

void Check(CURLcode code) {
    if (code != CURLE_OK) ThrowCurl(code);
}

CURLcode FromMulti(CURLMcode code) {
    return code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
}

struct TEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct TMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

// NUL would silently cut the text short inside libcurl; CR/LF would inject header lines.
bool HasControlBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

bool SameHeaderName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

class TEasyCurlImpl final : public ICurl {
  public:
    TEasyCurlImpl() : FHandle(curl_easy_init()), FMulti(curl_multi_init()) {
        if (!FHandle || !FMulti) throw ECurlInternal("cannot create a libcurl handle");
        // Without a receive stream the body is dropped rather than left to libcurl's stdout
        // default.
        Check(
            curl_easy_setopt(FHandle.get(), CURLOPT_WRITEFUNCTION, &TEasyCurlImpl::WriteCallback));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_WRITEDATA, this));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_NOSIGNAL, 1L));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_HEADERFUNCTION,
                               &TEasyCurlImpl::HeaderCallback));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_HEADERDATA, this));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_ERRORBUFFER, FErrorBuffer));
        // Addresses come from users, settings files and other sites' files: never dict://,
        // file:// or the like; the key must only ever travel over HTTP(S), redirects included.
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_PROTOCOLS_STR, "http,https"));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_MAXFILESIZE_LARGE,
                               static_cast<curl_off_t>(kMaxBodyBytes)));
        SetTimeouts(kDefaultConnectTimeoutMs, kDefaultTransferTimeoutMs);
    }

    TEasyCurlImpl(const TEasyCurlImpl&) = delete;
    TEasyCurlImpl& operator=(const TEasyCurlImpl&) = delete;

    ICurl& SetUserAgent(std::string_view userAgent) override {
        if (HasControlBreak(userAgent)) ThrowCurl(CURLE_BAD_FUNCTION_ARGUMENT);
        const std::string text(userAgent);  // libcurl copies the string
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_USERAGENT, text.c_str()));
        return *this;
    }

    ICurl& SetUrl(const ICurlStringBuilder& builder) override {
        const std::string url = builder.Build();
        if (url.find('\0') != std::string::npos) ThrowCurl(CURLE_URL_MALFORMAT);
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_URL, url.c_str()));
        return *this;
    }

    ICurl& SetOpt(int option, long value) override {
        // Only integer-valued options can take a long; anything else would hand libcurl a
        // number where it expects a pointer.
        if (option >= CURLOPTTYPE_LONG && option < CURLOPTTYPE_OBJECTPOINT) {
            Check(curl_easy_setopt(FHandle.get(), static_cast<CURLoption>(option), value));
        } else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
            Check(curl_easy_setopt(FHandle.get(), static_cast<CURLoption>(option),
                                   static_cast<curl_off_t>(value)));
        } else {
            ThrowCurl(CURLE_BAD_FUNCTION_ARGUMENT);
        }
        return *this;
    }

    ICurl& SwitchRecvToString() override {
        // Kept from transfer to transfer, emptied, with the buffer it holds.
        if (dynamic_cast<TRawByteStream*>(FRecvStream.Stream) == nullptr)
            FRecvStream.Assign(std::make_unique<TRawByteStream>(), csfAutoRewind | csfAutoDestroy);
        else
            FRecvStream.RewindWrite();
        return *this;
    }

    ICurl& SetAbortPredicate(TAbortPredicate predicate) override {
        FAbortPredicate = std::move(predicate);
        if (FAbortPredicate) {
            Check(curl_easy_setopt(FHandle.get(), CURLOPT_XFERINFOFUNCTION,
                                   &TEasyCurlImpl::XferInfoCallback));
            Check(curl_easy_setopt(FHandle.get(), CURLOPT_XFERINFODATA, this));
            Check(curl_easy_setopt(FHandle.get(), CURLOPT_NOPROGRESS, 0L));
        } else {
            Check(curl_easy_setopt(FHandle.get(), CURLOPT_NOPROGRESS, 1L));
        }
        return *this;
    }

    ICurl& SetTimeouts(long connectMs, long totalMs) override {
        // libcurl 7.88 takes a negative value silently; 0 means "no limit" as in libcurl.
        if (connectMs < 0 || totalMs < 0) ThrowCurl(CURLE_BAD_FUNCTION_ARGUMENT);
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_CONNECTTIMEOUT_MS, connectMs));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_TIMEOUT_MS, totalMs));
        return *this;
    }

    ICurl& Perform() override {
        FRecvStream.RewindWrite();
        FPredicateError = nullptr;
        FHeaders.clear();
        FReceived = 0;
        FBodyTooLarge = false;
        FRequestsSent = 0;
        FResendRefused = false;
        FErrorBuffer[0] = '\0';
        if (AbortRequested()) Fail(CURLE_ABORTED_BY_CALLBACK);

        const CURLMcode added = curl_multi_add_handle(FMulti.get(), FHandle.get());
        if (added != CURLM_OK) ThrowCurl(FromMulti(added));
        CURLcode result;
        {
            // Detaching also ends an unfinished transfer, leaving the handle reusable.
            struct TDetach {
                CURLM* multi;
                CURL* handle;
                ~TDetach() { curl_multi_remove_handle(multi, handle); }
            } detach{FMulti.get(), FHandle.get()};
            result = RunTransfer();
        }
        if (result != CURLE_OK) Fail(result);
        return *this;
    }

    const std::string& ResponseBody() const override {
        const auto* buffer = dynamic_cast<const TRawByteStream*>(FRecvStream.Stream);
        if (buffer == nullptr)
            throw std::runtime_error("Cannot get response body, use SwitchRecvToString beforehand");
        return buffer->Data();
    }

    ICurl& ReleaseResponseBody() override {
        if (auto* buffer = dynamic_cast<TRawByteStream*>(FRecvStream.Stream)) buffer->Release();
        return *this;
    }

    ICurl& SetMaxBodyBytes(std::int64_t maxBytes) override {
        FMaxBodyBytes = maxBytes < 0 ? 0 : maxBytes;
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_MAXFILESIZE_LARGE,
                               static_cast<curl_off_t>(FMaxBodyBytes)));
        return *this;
    }

    ICurl& SendEachRequestOnce() override {
        // libcurl calls this before every request it sends, its own re-sends included.
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_PREREQFUNCTION,
                               &TEasyCurlImpl::PrereqCallback));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_PREREQDATA, this));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_MAXAGE_CONN, kMaxIdleReuseSeconds));
        return *this;
    }

    ICurl& AcceptCompressed() override {
        // An empty string offers every encoding this libcurl was built with.
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_ACCEPT_ENCODING, ""));
        return *this;
    }

    ICurl& FollowRedirects(long maxRedirects) override {
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_FOLLOWLOCATION, maxRedirects > 0 ? 1L : 0L));
        Check(curl_easy_setopt(FHandle.get(), CURLOPT_MAXREDIRS, maxRedirects));
        return *this;
    }

    long ResponseCode() const override {
        long code = 0;
        if (curl_easy_getinfo(FHandle.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
        return code;
    }

    std::string ResponseHeader(std::string_view name) const override {
        for (const auto& [key, value] : FHeaders) {
            if (SameHeaderName(key, name)) return value;
        }
        return {};
    }

  private:
    CURLcode RunTransfer() {
        CURLM* multi = FMulti.get();
        const TActiveTransfer active(multi);
        for (;;) {
            int running = 0;
            CURLMcode mc = curl_multi_perform(multi, &running);
            if (mc != CURLM_OK) return FromMulti(mc);
            if (running == 0) break;
            if (AbortRequested()) return CURLE_ABORTED_BY_CALLBACK;
            // Waits for socket activity, libcurl's next timer or WakeTransfers, but no longer
            // than the abort polling interval.
            mc = curl_multi_poll(multi, nullptr, 0, kAbortPollMs, nullptr);
            if (mc != CURLM_OK) return FromMulti(mc);
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == FHandle.get())
                return msg->data.result;
        }
        return CURLE_FAILED_INIT;  // libcurl reported no outcome; never expected
    }

    // A throwing predicate aborts the transfer; its exception then reaches the caller.
    bool AbortRequested() noexcept {
        if (!FAbortPredicate) return false;
        if (FPredicateError) return true;
        try {
            return FAbortPredicate();
        } catch (...) {
            FPredicateError = std::current_exception();
            return true;
        }
    }

    [[noreturn]] void Fail(CURLcode code) {
        if (FPredicateError) std::rethrow_exception(std::exchange(FPredicateError, nullptr));
        if (FBodyTooLarge) code = CURLE_FILESIZE_EXCEEDED;
        // What a dropped connection gives when nothing is sent again.
        if (FResendRefused) ThrowCurl(CURLE_GOT_NOTHING);
        ThrowCurl(code, FErrorBuffer, FMaxBodyBytes);
    }

    static size_t WriteCallback(char* data, size_t size, size_t count, void* user) noexcept {
        auto* self = static_cast<TEasyCurlImpl*>(user);
        const size_t total = size * count;
        // A server that gives no length (or lies about it) is stopped here.
        self->FReceived += static_cast<std::int64_t>(total);
        if (self->FMaxBodyBytes > 0 && self->FReceived > self->FMaxBodyBytes) {
            self->FBodyTooLarge = true;
            return 0;
        }
        TCurlStream* stream = self->FRecvStream.Stream;
        if (stream == nullptr) return total;
        try {
            // A short count makes libcurl fail the transfer with CURLE_WRITE_ERROR.
            return static_cast<size_t>(stream->Write(data, static_cast<std::int64_t>(total)));
        } catch (...) {
            return 0;
        }
    }

    // Keeps the headers of the last answer only: a new status line starts a new answer.
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* user) noexcept {
        auto* self = static_cast<TEasyCurlImpl*>(user);
        const size_t total = size * count;
        try {
            std::string_view line(data, total);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.remove_suffix(1);
            if (line.substr(0, 5) == "HTTP/") {
                self->FHeaders.clear();
            } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
                std::string_view value = line.substr(colon + 1);
                while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                    value.remove_prefix(1);
                if (self->FHeaders.size() < kMaxHeaders)
                    self->FHeaders.emplace_back(line.substr(0, colon), value);
            }
        } catch (...) {
            return 0;
        }
        return total;
    }

    static int PrereqCallback(void* user, char*, char*, int, int) noexcept {
        auto* self = static_cast<TEasyCurlImpl*>(user);
        if (self->FRequestsSent++ == 0) return CURL_PREREQFUNC_OK;
        self->FResendRefused = true;
        return CURL_PREREQFUNC_ABORT;
    }

    static int XferInfoCallback(void* user, curl_off_t, curl_off_t, curl_off_t,
                                curl_off_t) noexcept {
        return static_cast<TEasyCurlImpl*>(user)->AbortRequested() ? 1 : 0;
    }

    // Destroyed in reverse: the buffer, then the multi handle with its cached connections,
    // then the easy handle.
    std::unique_ptr<CURL, TEasyDeleter> FHandle;
    std::unique_ptr<CURLM, TMultiDeleter> FMulti;
    TCurlAutoStream FRecvStream;
    TAbortPredicate FAbortPredicate;
    std::exception_ptr FPredicateError;
    static constexpr size_t kMaxHeaders = 200;
    std::vector<std::pair<std::string, std::string>> FHeaders;
    std::int64_t FMaxBodyBytes = kMaxBodyBytes;
    std::int64_t FReceived = 0;
    bool FBodyTooLarge = false;
    int FRequestsSent = 0;        // by this transfer, counted before each is sent
    bool FResendRefused = false;  // SendEachRequestOnce refused libcurl's own re-send
    char FErrorBuffer[CURL_ERROR_SIZE] = {};
};

void WakeTransfers() {
    std::lock_guard lock(gActiveLock);
    for (CURLM* multi : gActive) curl_multi_wakeup(multi);
}

std::shared_ptr<ICurl> NewCurlClient() {
    return std::make_shared<TEasyCurlImpl>();
}

namespace {
std::mutex gGlobalMutex;
int gGlobalUsers = 0;
}  // namespace

TCurlGlobal::TCurlGlobal() {
    const std::lock_guard lock(gGlobalMutex);
    if (gGlobalUsers == 0) Check(curl_global_init(CURL_GLOBAL_ALL));
    ++gGlobalUsers;
}

TCurlGlobal::~TCurlGlobal() {
    const std::lock_guard lock(gGlobalMutex);
    if (--gGlobalUsers == 0) curl_global_cleanup();
}

}  // namespace velmora::http
