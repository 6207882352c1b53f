#pragma once

#include "translate/mduTranslate.h"

namespace velmora::relay {

// The one translation operation the relay needs: never throws, empty when nothing could be
// translated. Language codes are the table's ASCII keys ("zh-CN", "en").
using ITranslate = translate::ITranslator;

}  // namespace velmora::relay
