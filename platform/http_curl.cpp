#include <curl/curl.h>

#include "platform/http.h"
#include "platform/http_text.h"

namespace http {

namespace {

size_t collectBody(char* bytes, size_t size, size_t count, void* into) {
    static_cast<std::string*>(into)->append(bytes, size * count);
    return size * count;
}

size_t collectHeader(char* bytes, size_t size, size_t count, void* into) {
    std::string line(bytes, size * count);
    auto* headers = static_cast<Headers*>(into);
    if (line.compare(0, 5, "HTTP/") == 0) headers->clear();  // a new response begins
    Headers::value_type field;
    if (readHeaderLine(line, field)) headers->push_back(field);
    return size * count;
}

class CurlClient : public Client {
  public:
    explicit CurlClient(const Settings& settings) : settings_(settings) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        handle_ = curl_easy_init();
    }
    ~CurlClient() override {
        if (handle_) curl_easy_cleanup(handle_);
        curl_global_cleanup();
    }
    bool ready() const { return handle_ != nullptr; }

    Response request(const std::string& method, const std::string& url, const Headers& headers,
                     const std::string& body) override {
        Response response;
        // The same handle for every request, so that the connection is kept open.
        curl_easy_reset(handle_);
        curl_easy_setopt(handle_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle_, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(handle_, CURLOPT_CONNECTTIMEOUT, 30L);
        // A server may think for minutes before it lists a large address book; one
        // that sends nothing for ten is taken as gone.
        curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_TIME, 600L);
        curl_easy_setopt(handle_, CURLOPT_PROTOCOLS_STR, "http,https");
        if (method == "HEAD") curl_easy_setopt(handle_, CURLOPT_NOBODY, 1L);
        if (!body.empty() || method == "PUT") {
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDS, body.data());
            curl_easy_setopt(handle_, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(body.size()));
        }
        if (!settings_.user.empty()) {
            curl_easy_setopt(handle_, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(handle_, CURLOPT_USERNAME, settings_.user.c_str());
            curl_easy_setopt(handle_, CURLOPT_PASSWORD, settings_.password.c_str());
        }
        if (!settings_.caFile.empty())
            curl_easy_setopt(handle_, CURLOPT_CAINFO, settings_.caFile.c_str());
        struct curl_slist* list = nullptr;
        list = curl_slist_append(list, "Expect:");  // no 100-continue round trip
        for (const auto& header : headers)
            list = curl_slist_append(list, (header.first + ": " + header.second).c_str());
        curl_easy_setopt(handle_, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(handle_, CURLOPT_WRITEFUNCTION, collectBody);
        curl_easy_setopt(handle_, CURLOPT_WRITEDATA, &response.body);
        curl_easy_setopt(handle_, CURLOPT_HEADERFUNCTION, collectHeader);
        curl_easy_setopt(handle_, CURLOPT_HEADERDATA, &response.headers);
        CURLcode result = curl_easy_perform(handle_);
        curl_slist_free_all(list);
        if (result != CURLE_OK) {
            response.error = curl_easy_strerror(result);
            response.body.clear();
            return response;
        }
        long status = 0;
        curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &status);
        response.status = static_cast<int>(status);
        return response;
    }

  private:
    Settings settings_;
    CURL* handle_ = nullptr;
};

}  // namespace

std::unique_ptr<Client> openClient(const Settings& settings, std::string& why) {
    auto client = std::make_unique<CurlClient>(settings);
    if (client->ready()) return client;
    why = "libcurl could not be started";
    return nullptr;
}

}  // namespace http
