#include <windows.h>
#include <winhttp.h>

#include <cstdlib>
#include <type_traits>

#include "platform/http.h"
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
               find(sendRequest, "WinHttpSendRequest") &&
               find(receiveResponse, "WinHttpReceiveResponse") &&
               find(queryHeaders, "WinHttpQueryHeaders") && find(readData, "WinHttpReadData") &&
               find(closeHandle, "WinHttpCloseHandle");
    }
};

std::string base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[(value >> 18) & 63];
        out += kDigits[(value >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(value >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[value & 63] : '=';
    }
    return out;
}

std::string lastError(const char* what) {
    return std::string(what) + " failed (WinHTTP error " + std::to_string(GetLastError()) + ")";
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
        if (!api_.load()) {
            why = "WinHTTP (winhttp.dll) cannot be loaded on this Windows";
            return false;
        }
        session_ = api_.open(L"qbcard", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0);
        if (!session_) why = lastError("WinHttpOpen");
        return session_ != nullptr;
    }

    Response request(const std::string& method, const std::string& url, const Headers& headers,
                     const std::string& body) override {
        Response response;
        size_t scheme = url.find("://");
        const bool secure = url.compare(0, 6, "https:") == 0;
        size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
        size_t pathStart = url.find('/', hostStart);
        std::string authority = url.substr(hostStart, pathStart - hostStart);
        std::string path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
        std::string host = authority;
        INTERNET_PORT port = secure ? 443 : 80;
        size_t colon = authority.rfind(':');
        if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
            host = authority.substr(0, colon);
            port = static_cast<INTERNET_PORT>(std::atoi(authority.c_str() + colon + 1));
        }
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
        HINTERNET request = api_.openRequest(
            connection_, utf16Of(method).c_str(), utf16Of(path).c_str(), nullptr,
            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
        if (!request) {
            response.error = lastError("WinHttpOpenRequest");
            return response;
        }
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;  // the caller follows them
        api_.setOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
        std::string lines;
        for (const auto& header : headers) lines += header.first + ": " + header.second + "\r\n";
        if (!settings_.user.empty())
            lines += "Authorization: Basic " + base64(settings_.user + ":" + settings_.password) +
                     "\r\n";
        std::wstring headerText = utf16Of(lines);
        BOOL sent = api_.sendRequest(
            request, headerText.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headerText.c_str(),
            static_cast<DWORD>(headerText.size()),
            body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0);
        if (!sent || !api_.receiveResponse(request, nullptr)) {
            response.error = lastError(sent ? "receiving the answer" : "sending the request");
            api_.closeHandle(request);
            return response;
        }
        DWORD status = 0, size = sizeof status;
        api_.queryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
        size = 0;
        api_.queryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                          nullptr, &size, WINHTTP_NO_HEADER_INDEX);
        std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
        if (api_.queryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                              &raw[0], &size, WINHTTP_NO_HEADER_INDEX)) {
            std::string text = utf8Of(raw.data(), size / sizeof(wchar_t));
            for (size_t at = 0; at < text.size();) {
                size_t end = text.find("\r\n", at);
                if (end == std::string::npos) end = text.size();
                std::string line = text.substr(at, end - at);
                size_t split = line.find(':');
                if (split != std::string::npos) {
                    size_t value = line.find_first_not_of(' ', split + 1);
                    response.headers.emplace_back(line.substr(0, split), value == std::string::npos
                                                                             ? std::string()
                                                                             : line.substr(value));
                }
                at = end + 2;
            }
        }
        char buffer[1 << 14];
        for (DWORD got = 0; api_.readData(request, buffer, sizeof buffer, &got) && got > 0;)
            response.body.append(buffer, got);
        api_.closeHandle(request);
        response.status = static_cast<int>(status);
        return response;
    }

  private:
    Settings settings_;
    WinHttp api_;
    HINTERNET session_ = nullptr, connection_ = nullptr;
    std::string connectedTo_;
};

}  // namespace

std::unique_ptr<Client> openClient(const Settings& settings, std::string& why) {
    if (!settings.caFile.empty()) {
        why =
            "--cacert is not available in the Windows build; add the certificate to the "
            "Windows certificate store instead";
        return nullptr;
    }
    auto client = std::make_unique<WinHttpClient>(settings);
    if (!client->start(why)) return nullptr;
    return client;
}

}  // namespace http
