#include "translate/FailureWords.h"

#include <array>
#include <utility>

namespace velmora::translate {

std::string_view EngineDisplayName(std::string_view id) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kNames{{
        {"apertium", "Apertium（本机离线）"},
        {"form", "网页表单翻译（旧版服务）"},
        {"libretranslate", "LibreTranslate（自建或公共服务器）"},
        {"deepl", "DeepL"},
        {"google", "Google 翻译"},
        {"microsoft", "微软翻译"},
        {"apy", "Apertium APy 服务器"},
    }};
    for (const auto& [known, name] : kNames)
        if (known == id) return name;
    return id;
}

std::string FailureWords(const engines::EngineFailure& failure) {
    using K = engines::FailureKind;
    const auto later = [&failure](std::string words) {
        if (failure.retryAfterSeconds)
            words += "（请 " + std::to_string(*failure.retryAfterSeconds) + " 秒后再试）";
        return words;
    };
    switch (failure.kind) {
        case K::Unsupported:
            return "不支持这一语言对";
        case K::Transport:
            return "无法连接（请检查地址和网络）";
        case K::RateLimited:
            return later("请求过于频繁");
        case K::QuotaExceeded:
            return later("额度已用完");
        case K::ServerError:
            return "服务器出错，请稍后再试";
        case K::BadKey:
            return "密钥无效";
        case K::BadRequest:
            return "服务器拒绝了请求（请检查地址和设置）";
        case K::NoTranslation:
            return "服务器的回答中没有译文（请检查地址）";
        case K::SkippedBackoff:
            return "服务器要求稍后再试";
        case K::SkippedUnreachable:
            return "刚才无法连接，暂不再试（请稍后再试）";
    }
    return "未知错误";
}

}  // namespace velmora::translate
