#include "translate/engines/HostedApiEngine.h"

#include "translate/engines/HttpExchange.h"

namespace velmora::translate::engines {

bool HostedApiEngine::Supports(const std::string& src, const std::string& dst) {
    return src != dst && api_.sourceCode(src) && api_.targetCode(dst);
}

PieceResult HostedApiEngine::TranslatePiece(std::u16string_view piece, const std::string& src,
                                            const std::string& dst) {
    const auto from = api_.sourceCode(src);
    const auto to = api_.targetCode(dst);
    if (!from || !to || src == dst)
        return PieceResult::Fail(FailureKind::Unsupported, "language pair not offered");
    const auto request = api_.build(settings_, codePage_.ToUtf8(piece), *from, *to);
    return Exchange(
        http_, request,
        [this](const platform::HttpResponse& res) {
            return api_.parse(res, codePage_, settings_.key);
        },
        settings_.key);
}

}  // namespace velmora::translate::engines
