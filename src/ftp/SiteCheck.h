#pragma once
// Whether a web site lets a user in: one request with HTTP Basic authentication, as a browser
// would make it, to tell that the password file on the server works for that user.

#include "base/Message.h"

#include <string>

namespace quorvane {

enum class TSiteCheckOutcome {
    LetIn,        // a 2xx answer
    Refused,      // 401: the server does not take these credentials
    NotProtected, // a 2xx answer already without credentials: the check tells nothing
    Other,        // any other answer, a redirect to another host, or no answer
};

struct TSiteCheckResult {
    TSiteCheckOutcome Outcome = TSiteCheckOutcome::Other;
    long Status = 0;         // the HTTP status of the last answer; 0 when none came
    std::string FinalUrl;    // the address that gave the last answer
    std::string RedirectUrl; // a redirect to another host that was not followed
    TMessage Error;          // the transfer error when no answer came
};

// Requests url (http or https only) first without credentials: a page that lets anybody in
// says nothing about a user (NotProtected). Otherwise asks again with login and password by
// Basic authentication. Redirects to the same scheme, host and port are followed (at most 5); a
// redirect anywhere else is not followed, so the credentials never reach another host, and ends
// the check as Other with RedirectUrl set. Certificates are verified. Raises nothing; a failure
// is an Other result.
TSiteCheckResult CheckSiteLogin(const std::string& url, const std::string& login,
                                const std::string& password, long timeoutSeconds = 30);

// One sentence about the result for a person: "The site let user ann in (HTTP 200).", "The site
// refused user ann (HTTP 401).", "The page is not protected: ...", and so on.
TMessage SiteCheckMessage(const TSiteCheckResult& result, const std::string& login);

} // namespace quorvane
