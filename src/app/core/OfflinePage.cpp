#include "app/core/OfflinePage.h"

namespace velmora::app {

namespace {
// The document mode line makes the system browser control of Windows render with its newest
// engine instead of its default old one; other engines ignore it.
constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta http-equiv="X-UA-Compatible" content="IE=edge"><title>)";
constexpr std::string_view kStyle = R"(</title><style>
html, body { margin: 0; height: 100%; overflow: hidden; background: #f4f8fc; color: #2b3a4e;
  font: 12px sans-serif; }
#velmora-offline { box-sizing: border-box; height: 100%; padding: 18px 10px;
  border: 1px solid #b9c9da; border-radius: 4px; text-align: center; }
h1 { margin: 6px 0 10px; font-size: 14px; color: #1f5fa8; }
p { margin: 6px 0; line-height: 1.6; }
</style></head><body><div id=")";
constexpr std::string_view kBody = R"(</h1>
<p>这里的内容需要联网才能显示。</p><p>网络恢复后，下次打开窗口时会自动重新加载。</p>
<p>翻译不受影响。</p></div></body></html>)";
}  // namespace

std::string OfflinePageHtml() {
    std::string html;
    html.append(kHead).append(kOfflinePageTitle).append(kStyle);
    html.append(kOfflinePageMarker).append("\"><h1>").append(kOfflinePageTitle).append(kBody);
    return html;
}

int OfflineFallback::Load() {
    offline_ = false;
    return ++load_;
}

bool OfflineFallback::Failed(int load) {
    if (load_ == 0 || load != load_ || offline_) return false;
    offline_ = true;
    return true;
}

}  // namespace velmora::app
