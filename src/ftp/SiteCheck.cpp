#include "ftp/SiteCheck.h"
#include "base/AsciiCase.h"
#include "ftp/FtpTexts.h"
#include "ftp/TransfersPlugin.h"

#include <curl/curl.h>

#include <memory>

namespace quorvane {

namespace {

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

struct TUrlParts {
    std::string Scheme, Host, Port;
    bool Valid = false;
};

std::string Part(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    std::string result;
    if (curl_url_get(url, part, &text, CURLU_DEFAULT_PORT) == CURLUE_OK && text != nullptr)
        result = text;
    curl_free(text);
    return result;
}

TUrlParts Parse(const std::string& address) {
    TUrlParts parts;
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK)
        return parts;
    parts.Scheme = Part(url.get(), CURLUPART_SCHEME);
    parts.Host = Part(url.get(), CURLUPART_HOST);
    parts.Port = Part(url.get(), CURLUPART_PORT);
    parts.Scheme = ToAsciiLower(std::move(parts.Scheme));
    parts.Host = ToAsciiLower(std::move(parts.Host));
    parts.Valid = (parts.Scheme == "http" || parts.Scheme == "https") && !parts.Host.empty();
    return parts;
}

bool SameOrigin(const TUrlParts& a, const TUrlParts& b) {
    return a.Valid && b.Valid && a.Scheme == b.Scheme && a.Host == b.Host && a.Port == b.Port;
}

} // namespace

namespace {

// One check, following same-origin redirects; with credentials when login is given.
TSiteCheckResult Request(const std::string& url, const TUrlParts& origin, const std::string* login,
                         const std::string* password, long timeoutSeconds) {
    TSiteCheckResult result;
    std::string current = url;
    for (int hop = 0; hop <= 5; ++hop) {
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                 curl_easy_cleanup);
        if (!curl) {
            result.Error = Msg(texts::HttpClientUnavailable);
            return result;
        }
        CURL* h = curl.get();
        char error[CURL_ERROR_SIZE] = "";
        curl_easy_setopt(h, CURLOPT_URL, current.c_str());
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L); // redirects are judged below
        if (login != nullptr) {
            curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
            curl_easy_setopt(h, CURLOPT_USERNAME, login->c_str());
            curl_easy_setopt(h, CURLOPT_PASSWORD, password->c_str());
        }
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Discard);
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_TIMEOUT, timeoutSeconds);
        curl_easy_setopt(h, CURLOPT_USERAGENT, "quorvane-check");
        const CURLcode code = curl_easy_perform(h);
        if (code != CURLE_OK) {
            result.Error = Verbatim(error[0] != '\0' ? error : curl_easy_strerror(code));
            result.Status = 0;
            return result;
        }
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.Status);
        result.FinalUrl = current;
        if (result.Status >= 200 && result.Status < 300) {
            result.Outcome = TSiteCheckOutcome::LetIn;
            return result;
        }
        if (result.Status == 401) {
            result.Outcome = TSiteCheckOutcome::Refused;
            return result;
        }
        char* location = nullptr;
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
        if (result.Status < 300 || result.Status >= 400 || location == nullptr) return result;
        const std::string next = location;
        if (!SameOrigin(origin, Parse(next))) {
            // The credentials would go along: stop and say where the site points.
            result.RedirectUrl = next;
            return result;
        }
        current = next;
    }
    result.Error = Msg(texts::TooManyRedirects);
    return result;
}

} // namespace

TSiteCheckResult transfers::CheckSiteLogin(const std::string& url, const std::string& login,
                                           const std::string& password, long timeoutSeconds) {
    const TUrlParts origin = Parse(url);
    if (!origin.Valid) {
        TSiteCheckResult result;
        result.Error = Msg(texts::NotAnHttpAddress);
        return result;
    }
    // A page that asks for no password lets in any password: that would be no answer.
    TSiteCheckResult open = Request(url, origin, nullptr, nullptr, timeoutSeconds);
    if (open.Outcome == TSiteCheckOutcome::LetIn) {
        open.Outcome = TSiteCheckOutcome::NotProtected;
        return open;
    }
    if (open.Status == 0 && open.RedirectUrl.empty()) return open; // no answer at all
    return Request(url, origin, &login, &password, timeoutSeconds);
}

} // namespace quorvane
