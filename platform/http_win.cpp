#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <memory>
#include <set>
#include <type_traits>

#include "platform/http.h"
#include "platform/http_text.h"
#include "platform/trusted_certs_win.h"
#include "platform/url.h"
#include "platform/utf16_win.h"

// WinHTTP, looked up when a sync starts: the rest of qbcard.exe starts without it,
// and the program's list of imports stays as it was checked.
namespace http {

namespace {

struct WinHttp {
    HMODULE module = nullptr;
    decltype(&WinHttpOpen) open = nullptr;
    decltype(&WinHttpConnect) connect = nullptr;
    decltype(&WinHttpOpenRequest) openRequest = nullptr;
    decltype(&WinHttpSetOption) setOption = nullptr;
    decltype(&WinHttpQueryOption) queryOption = nullptr;
    decltype(&WinHttpSetStatusCallback) setStatusCallback = nullptr;
    decltype(&WinHttpSendRequest) sendRequest = nullptr;
    decltype(&WinHttpReceiveResponse) receiveResponse = nullptr;
    decltype(&WinHttpQueryHeaders) queryHeaders = nullptr;
    decltype(&WinHttpReadData) readData = nullptr;
    decltype(&WinHttpCloseHandle) closeHandle = nullptr;

    bool load() {
        module = LoadLibraryA("winhttp.dll");
        if (!module) return false;
        auto find = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(GetProcAddress(module, name)));
            return function != nullptr;
        };
        return find(open, "WinHttpOpen") && find(connect, "WinHttpConnect") &&
               find(openRequest, "WinHttpOpenRequest") && find(setOption, "WinHttpSetOption") &&
               find(queryOption, "WinHttpQueryOption") &&
               find(setStatusCallback, "WinHttpSetStatusCallback") &&
               find(sendRequest, "WinHttpSendRequest") &&
               find(receiveResponse, "WinHttpReceiveResponse") &&
               find(queryHeaders, "WinHttpQueryHeaders") && find(readData, "WinHttpReadData") &&
               find(closeHandle, "WinHttpCloseHandle");
    }
};

std::string lastError(const char* what) {
    const DWORD code = GetLastError();
    std::string text = std::string(what) + " failed (WinHTTP error " + std::to_string(code) + ")";
    if (code == ERROR_WINHTTP_SECURE_FAILURE || code == ERROR_WINHTTP_SECURE_CERT_CN_INVALID ||
        code == ERROR_WINHTTP_SECURE_CERT_DATE_INVALID || code == ERROR_WINHTTP_SECURE_INVALID_CA)
        text += ": the server's certificate was refused";
    return text;
}

// What the status callback needs to check one request's server certificate.
struct CertificateCheck {
    const WinHttp* api = nullptr;
    const TrustedCertificates* trusted = nullptr;
    std::wstring host;
    bool carriesCredentials = false;
    std::string url;  // of the request, for `stopAtOnce`
    const std::function<void(const std::string&, const std::string&)>* stopAtOnce = nullptr;
    bool done = false;
    std::string failure;
    bool changed = false;  // failed after passing earlier, with the password on board
};

// WinHTTP calls this just before a request goes out, on every connection, new or
// reused (a server that closes after each answer gives every request a new one).
// Told to accept any root, dates and host name, WinHTTP has checked the rest; the
// chain to the file's certificates, the dates and the host name are checked here.
// Closing the request handle is Windows' documented way to cancel the request
// now. Wine's WinHTTP has already composed the request's bytes at this point and
// sends them anyway, which is why a password never rides on the first request to a
// server (see request()). A certificate that changes later is reported to the
// caller as such, which stops the sync; on Windows that request never goes, while
// Wine would send it: where the caller gave `stopAtOnce`, the run ends here.
void CALLBACK onStatus(HINTERNET request, DWORD_PTR context, DWORD status, void*, DWORD) {
    if (status != WINHTTP_CALLBACK_STATUS_SENDING_REQUEST || context == 0) return;
    auto& check = *reinterpret_cast<CertificateCheck*>(context);
    check.done = true;
    const CERT_CONTEXT* certificate = nullptr;
    DWORD size = sizeof certificate;
    if (!check.api->queryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate, &size) ||
        !certificate) {
        check.failure = "is missing";
    } else {
        check.trusted->verify(certificate, check.host, check.failure);
        check.trusted->release(certificate);
    }
    if (check.failure.empty()) return;
    // The server's certificate passed on an earlier request of this run (the
    // password goes only after that), and a new connection now shows one that
    // does not.
    check.changed = check.carriesCredentials;
    if (check.changed && check.stopAtOnce && *check.stopAtOnce)
        (*check.stopAtOnce)(check.url, check.failure);
    // The documented way to cancel a request before it is sent.
    check.api->closeHandle(request);
}

class WinHttpClient : public Client {
  public:
    explicit WinHttpClient(const Settings& settings) : settings_(settings) {}
    ~WinHttpClient() override {
        if (connection_) api_.closeHandle(connection_);
        if (session_) api_.closeHandle(session_);
        if (api_.module) FreeLibrary(api_.module);
    }

    bool start(std::string& why) {
        if (!settings_.caFile.empty()) {
            trusted_ = std::make_unique<TrustedCertificates>();
            if (!trusted_->load(settings_.caFile, why)) return false;
        }
        if (!api_.load()) {
            why = "WinHTTP (winhttp.dll) cannot be loaded on this Windows";
            return false;
        }
        session_ = api_.open(L"qbcard", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_) {
            why = lastError("WinHttpOpen");
            return false;
        }
        if (trusted_ &&
            api_.setStatusCallback(session_, onStatus, WINHTTP_CALLBACK_FLAG_SEND_REQUEST, 0) ==
                WINHTTP_INVALID_STATUS_CALLBACK) {
            why = lastError("WinHttpSetStatusCallback");
            return false;
        }
        return true;
    }

    Response request(const std::string& method, const std::string& url, const Headers& headers,
                     const std::string& body) override {
        Response response;
        const url::Url parts = url::parse(url);
        const bool secure = parts.scheme == "https";
        const std::string host = parts.hostInUrl(), path = parts.target();
        const INTERNET_PORT port = static_cast<INTERNET_PORT>(parts.portNumber());
        const std::string authority = host + ":" + std::to_string(port);
        // One connection handle per server, kept between requests.
        if (!connection_ || authority != connectedTo_) {
            if (connection_) api_.closeHandle(connection_);
            connection_ = api_.connect(session_, utf16Of(host).c_str(), port, 0);
            connectedTo_ = authority;
            if (!connection_) {
                response.error = lastError("WinHttpConnect");
                return response;
            }
        }
        Target target{utf16Of(host), utf16Of(method), utf16Of(path), secure, url};
        if (!secure || !trusted_ || settings_.user.empty())
            return send(target, headers, body, !settings_.user.empty());
        // With certificates of our own, the password goes only to a server whose
        // certificate has passed on a request without it: before the first request
        // to each server, an OPTIONS request without the password and without a body
        // (a server that refuses it closes the connection, and a body it has not read
        // would make that a reset). A certificate that fails there ends the sync with
        // nothing sent that matters, under Wine as on Windows; one that fails later is
        // handled in onStatus.
        if (!verified_.count(authority)) {
            Target probe = target;
            probe.method = L"OPTIONS";
            response = send(probe, Headers(), std::string(), false);
            if (response.status == 0) return response;
            verified_.insert(authority);
        }
        return send(target, headers, body, true);
    }

  private:
    struct Target {
        std::wstring host, method, path;
        bool secure;
        std::string url;
    };

    Response send(const Target& target, const Headers& headers, const std::string& body,
                  bool withCredentials) {
        Response response;
        HINTERNET request = openRequest(target);
        if (!request) {
            response.error = lastError("WinHttpOpenRequest");
            return response;
        }
        CertificateCheck check;
        check.api = &api_;
        check.trusted = trusted_.get();
        check.host = target.host;
        check.carriesCredentials = withCredentials;
        check.url = target.url;
        check.stopAtOnce = &settings_.stopAtOnce;
        const bool checked = target.secure && trusted_;
        if (!exchange(request, headerText(headers, withCredentials), body,
                      checked ? &check : nullptr, response))
            return response;
        readAnswer(request, response);
        api_.closeHandle(request);
        return response;
    }

    HINTERNET openRequest(const Target& target) {
        HINTERNET request = api_.openRequest(
            connection_, target.method.c_str(), target.path.c_str(), nullptr, WINHTTP_NO_REFERER,
            WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0);
        if (!request) return nullptr;
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;  // the caller follows them
        api_.setOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
        if (target.secure && trusted_) {
            // The chain to the file's certificates, the dates and the host name are
            // ours to check, in onStatus, which can say which of them failed.
            DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                          SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
            api_.setOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        }
        return request;
    }

    std::wstring headerText(const Headers& headers, bool withCredentials) const {
        Headers all = headers;
        if (withCredentials)
            all.emplace_back("Authorization",
                             basicAuthorization(settings_.user, settings_.password));
        return utf16Of(headerLines(all));
    }

    // Sends the request and waits for the answer's headers; false, with `response`
    // saying why and the request handle closed, when there is none to read.
    bool exchange(HINTERNET request, const std::wstring& headerText, const std::string& body,
                  CertificateCheck* check, Response& response) {
        BOOL sent = api_.sendRequest(
            request, headerText.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headerText.c_str(),
            static_cast<DWORD>(headerText.size()),
            body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()),
            reinterpret_cast<DWORD_PTR>(check));
        // onStatus closed the request handle when it refused the certificate.
        // Whatever the server may have answered, it is not the server the
        // certificates name.
        if (check && refusedCertificate(*check, response)) return false;
        if (sent && check && !check->done) {
            api_.closeHandle(request);
            response.error = "the server's certificate could not be checked before the request";
            return false;
        }
        const bool received = sent && api_.receiveResponse(request, nullptr);
        // WinHTTP may send the request again (on a new connection) while receiving.
        if (check && refusedCertificate(*check, response)) return false;
        if (!received) {
            response.error = lastError(sent ? "receiving the answer" : "sending the request");
            api_.closeHandle(request);
            return false;
        }
        return true;
    }

    static bool refusedCertificate(const CertificateCheck& check, Response& response) {
        if (check.failure.empty()) return false;
        response.certificateChanged = check.changed;
        response.error =
            check.changed ? check.failure : "the server's certificate " + check.failure;
        return true;
    }

    void readAnswer(HINTERNET request, Response& response) {
        DWORD status = 0, size = sizeof status;
        api_.queryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        size = 0;
        api_.queryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                          nullptr, &size, WINHTTP_NO_HEADER_INDEX);
        std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
        if (api_.queryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                              &raw[0], &size, WINHTTP_NO_HEADER_INDEX))
            response.headers = readHeaderBlock(utf8Of(raw.data(), size / sizeof(wchar_t)));
        char buffer[1 << 14];
        for (DWORD got = 0; api_.readData(request, buffer, sizeof buffer, &got) && got > 0;)
            response.body.append(buffer, got);
        response.status = static_cast<int>(status);
    }

    Settings settings_;
    std::unique_ptr<TrustedCertificates> trusted_;
    std::set<std::string> verified_;  // servers whose certificate passed, as host:port
    WinHttp api_;
    HINTERNET session_ = nullptr, connection_ = nullptr;
    std::string connectedTo_;
};

}  // namespace

std::unique_ptr<Client> openClient(const Settings& settings, std::string& why) {
    auto client = std::make_unique<WinHttpClient>(settings);
    if (!client->start(why)) return nullptr;
    return client;
}

}  // namespace http
