#pragma once

#include <cstdint>

#include "relay/IResultBox.h"

namespace velmora::relay {

// The format at a result box's insertion point.
struct TextFormat {
    std::uint32_t color = kBlack;  // 0x00BBGGRR
    bool bold = false;
    bool italic = false;
};

// A result box that keeps the current format itself, as the real boxes do: each attribute holds
// until set again, and the box applies the whole format to what it inserts.
class FormatKeepingBox : public IResultBox {
  public:
    void SetColor(std::uint32_t bgr) final { format_.color = bgr & 0x00FFFFFF; }
    void SetBold(bool on) final { format_.bold = on; }
    void SetItalic(bool on) final { format_.italic = on; }
    const TextFormat& Format() const { return format_; }

  private:
    TextFormat format_;
};

}  // namespace velmora::relay
