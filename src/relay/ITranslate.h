#pragma once

#include <string>

namespace velmora::relay {

// The one translation operation the relay needs. Never throws; an empty result means nothing
// could be translated. Language codes are the table's ASCII keys ("zh-CN", "en").
class ITranslate {
  public:
    virtual ~ITranslate() = default;
    virtual std::u16string TranslateText(const std::u16string& text, const std::string& sourceCode,
                                         const std::string& targetCode) = 0;
};

}  // namespace velmora::relay
