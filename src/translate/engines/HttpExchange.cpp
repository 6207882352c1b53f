#include "translate/engines/HttpExchange.h"

#include "platform/IEventLoop.h"
#include "translate/engines/HttpHeaders.h"
#include "translate/engines/Redaction.h"

namespace velmora::translate::engines {

namespace {

std::string WithDetail(std::string text, const std::string& serverMessage) {
    if (!serverMessage.empty()) text += ": " + serverMessage;
    return text;
}

}  // namespace

PieceResult FailureForStatus(const platform::HttpResponse& res, const std::string& serverMessage) {
    const std::string status = "(HTTP " + std::to_string(res.status) + ")";
    const long s = res.status;
    if (s == 429)
        return PieceResult::Fail(FailureKind::RateLimited,
                                 WithDetail("too many requests " + status, serverMessage),
                                 ParseRetryAfter(res.headers));
    if (s == 456)
        return PieceResult::Fail(FailureKind::QuotaExceeded,
                                 WithDetail("quota used up " + status, serverMessage),
                                 ParseRetryAfter(res.headers));
    if (s >= 500 && s <= 599)
        return PieceResult::Fail(FailureKind::ServerError,
                                 WithDetail("server error " + status, serverMessage));
    if (s == 401 || s == 403)
        return PieceResult::Fail(FailureKind::BadKey,
                                 WithDetail("key refused " + status, serverMessage));
    if (s >= 400 && s <= 499)
        return PieceResult::Fail(FailureKind::BadRequest,
                                 WithDetail("request refused " + status, serverMessage));
    return PieceResult::Fail(FailureKind::NoTranslation,
                             WithDetail("unexpected answer " + status, serverMessage));
}

PieceResult Exchange(platform::IHttp& http, const platform::HttpRequest& request,
                     const std::function<PieceResult(const platform::HttpResponse&)>& parse,
                     std::string_view key) {
    PieceResult result;
    try {
        if (key.empty()) {
            result = parse(http.Send(request));
        } else {
            platform::HttpRequest keyed = request;
            keyed.carriesCredential = true;
            result = parse(http.Send(keyed));
        }
    } catch (const platform::Cancelled&) {
        throw;  // no failure of the engine: the whole text is abandoned
    } catch (const platform::HttpError& e) {
        return PieceResult::Fail(FailureKind::Transport,
                                 "transport failure: " + ServerText(e.what(), key, 160));
    } catch (const std::exception& e) {
        return PieceResult::Fail(FailureKind::Transport,
                                 "transport failure: " + ServerText(e.what(), key, 160));
    } catch (...) {
        return PieceResult::Fail(FailureKind::Transport, "transport failure");
    }
    // Parsers already keep the key out; this is the last guard before the user sees it.
    if (!result.text) result.failure.detail = Redact(std::move(result.failure.detail), key);
    return result;
}

}  // namespace velmora::translate::engines
