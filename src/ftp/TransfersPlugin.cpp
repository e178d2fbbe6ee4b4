#include "ftp/TransfersPlugin.h"

#include <curl/curl.h>

namespace quorvane {

namespace {

class TTransfers final : public ITransfers {
public:
    std::unique_ptr<IUploadTransport> MakeTransport(const TFtpSettings& settings,
                                                    TTransportHooks hooks) const override {
        return transfers::MakeTransport(settings, std::move(hooks));
    }
    TSiteCheckResult CheckSiteLogin(const std::string& url, const std::string& login,
                                    const std::string& password,
                                    long timeoutSeconds) const override {
        return transfers::CheckSiteLogin(url, login, password, timeoutSeconds);
    }
    TServerUrlParts SplitUrl(const std::string& url) const override {
        return transfers::SplitUrl(url);
    }
    std::string JoinUrl(const std::string& scheme, const std::string& host, std::uint16_t port,
                        const std::string& path) const override {
        return transfers::JoinUrl(scheme, host, port, path);
    }
};

// One part of a parsed URL; nothing when the part's escapes do not decode.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned flags) {
    char* text = nullptr;
    const CURLUcode rc = curl_url_get(url, part, &text, flags);
    std::string value = rc == CURLUE_OK && text != nullptr ? std::string(text) : std::string();
    curl_free(text);
    if (rc == CURLUE_URLDECODE) return std::nullopt;
    return value;
}

struct TUrlHandle {
    CURLU* Url = curl_url();
    ~TUrlHandle() { curl_url_cleanup(Url); }
    TUrlHandle() = default;
    TUrlHandle(const TUrlHandle&) = delete;
    TUrlHandle& operator=(const TUrlHandle&) = delete;
};

} // namespace

TServerUrlParts transfers::SplitUrl(const std::string& url) {
    TServerUrlParts parts;
    const TUrlHandle parsed;
    if (parsed.Url == nullptr) throw std::bad_alloc();
    if (curl_url_set(parsed.Url, CURLUPART_URL, url.c_str(),
                     CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS) != CURLUE_OK)
        return parts;
    parts.Parsed = true;
    parts.User = UrlPart(parsed.Url, CURLUPART_USER, CURLU_URLDECODE);
    parts.Password = UrlPart(parsed.Url, CURLUPART_PASSWORD, CURLU_URLDECODE);
    parts.Path = UrlPart(parsed.Url, CURLUPART_PATH, CURLU_URLDECODE);
    parts.Host = UrlPart(parsed.Url, CURLUPART_HOST, 0).value_or(std::string());
    parts.Port = UrlPart(parsed.Url, CURLUPART_PORT, 0).value_or(std::string());
    parts.Query = UrlPart(parsed.Url, CURLUPART_QUERY, 0).value_or(std::string());
    parts.Fragment = UrlPart(parsed.Url, CURLUPART_FRAGMENT, 0).value_or(std::string());
    return parts;
}

std::string transfers::JoinUrl(const std::string& scheme, const std::string& host,
                               std::uint16_t port, const std::string& path) {
    const TUrlHandle url;
    if (url.Url == nullptr) return std::string();
    curl_url_set(url.Url, CURLUPART_SCHEME, scheme.c_str(), CURLU_NON_SUPPORT_SCHEME);
    curl_url_set(url.Url, CURLUPART_HOST, host.c_str(), 0);
    if (port != 0) curl_url_set(url.Url, CURLUPART_PORT, std::to_string(port).c_str(), 0);
    curl_url_set(url.Url, CURLUPART_PATH, path.c_str(), CURLU_URLENCODE);
    return UrlPart(url.Url, CURLUPART_URL, CURLU_NON_SUPPORT_SCHEME).value_or(std::string());
}

} // namespace quorvane

extern "C" __attribute__((visibility("default"))) const quorvane::ITransfers* quorvane_transfers() {
    static const quorvane::TTransfers transfers;
    return &transfers;
}
