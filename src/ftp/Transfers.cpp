#include "ftp/TransfersPlugin.h"

#include "base/Plugins.h"
#include "ftp/FtpTexts.h"

namespace quorvane {

const ITransfers& Transfers() {
    static const ITransfers* const transfers =
        reinterpret_cast<TTransfersEntry>(PluginEntry(KTransfersPlugin, KTransfersEntry))();
    return *transfers;
}

std::unique_ptr<IUploadTransport> MakeTransport(const TFtpSettings& settings,
                                                TTransportHooks hooks) {
    return Transfers().MakeTransport(settings, std::move(hooks));
}

TSiteCheckResult CheckSiteLogin(const std::string& url, const std::string& login,
                                const std::string& password, long timeoutSeconds) {
    // A plugin that cannot be loaded is a check that could not be made, as the check reports
    // its failures.
    try {
        return Transfers().CheckSiteLogin(url, login, password, timeoutSeconds);
    } catch (const EQuorvaneError& e) {
        TSiteCheckResult result;
        result.Error = e.Message();
        return result;
    }
}

TMessage SiteCheckMessage(const TSiteCheckResult& r, const std::string& login) {
    switch (r.Outcome) {
    case TSiteCheckOutcome::LetIn:
        return Msg(texts::SiteLetIn, login, r.Status);
    case TSiteCheckOutcome::Refused:
        return Msg(texts::SiteRefused, login, r.Status);
    case TSiteCheckOutcome::NotProtected:
        return Msg(texts::SiteNotProtected, r.Status, login);
    case TSiteCheckOutcome::Other:
        break;
    }
    if (!r.RedirectUrl.empty()) return Msg(texts::SiteRedirects, r.RedirectUrl);
    if (r.Status == 0) return Msg(texts::SiteNotChecked, r.Error);
    return Msg(texts::SiteUndecided, login, r.Status);
}

} // namespace quorvane
