#pragma once

#include <memory>
#include <string>

#include "platform/ICodePage.h"
#include "platform/IEventLoop.h"
#include "translate/engines/Router.h"
#include "translate/mduTranBuilder.h"
#include "translate/mduTranslate.h"

namespace velmora::translate {

// ITranslator over the engine router: the text is segmented as HttpTranslator does (the mode of
// the source language, a width table read once), and each piece goes through the router as a
// piece of one text.
class EngineTranslator : public ITranslator {
  public:
    // The router (and the loop, when given) must outlive the translator. With a loop, a cancel
    // requested on it ends the text between two pieces as well as inside a request.
    EngineTranslator(engines::Router& router, const platform::ICodePage& codePage,
                     const platform::IEventLoop* loop = nullptr);
    std::u16string TranslateText(const std::u16string& text, const std::string& src,
                                 const std::string& dst) override;
    // Complete only when every piece was translated. Never throws.
    TranslationOutcome Translate(const std::u16string& text, const std::string& src,
                                 const std::string& dst) override;

  private:
    engines::Router& router_;
    const platform::IEventLoop* loop_;
    std::shared_ptr<const AnsiWidthTable> widths_;
};

}  // namespace velmora::translate
