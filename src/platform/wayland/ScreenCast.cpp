#include "platform/wayland/ScreenCast.h"

#include "platform/wayland/PictureCompare.h"

namespace velmora::platform::wayland {

ScreenCast::ScreenCast(PortalRemoteDesktop& session, IEventLoop& loop) : session_(session) {
    if (session_.Started())
        stream_ = std::make_unique<ScreenCastStream>(loop, session_.OpenPipeWireRemote(),
                                                     session_.StreamInfo().node);
}

bool ScreenCast::Available() {
    return Reason().empty();
}

std::string ScreenCast::Reason() {
    if (!session_.Started()) return session_.Reason();
    if (!stream_) return "the screen stream was not opened";
    return stream_->Error();
}

Rect ScreenCast::Area() const {
    const auto& s = session_.StreamInfo();
    return {s.x, s.y, s.x + s.width, s.y + s.height};
}

Bitmap ScreenCast::Live() {
    if (!Available()) return {};
    return stream_->Latest(kFrameWaitMs);
}

bool ScreenCast::Freeze() {
    Bitmap now = Live();
    if (now.empty()) return false;
    frozen_ = std::make_shared<const Bitmap>(std::move(now));
    ++generation_;
    return true;
}

bool ScreenCast::LiveMatches(const Bitmap& picture, Point at, int radius) {
    const Rect area = Area();
    return SameAround(picture, Live(), {at.x - area.left, at.y - area.top}, radius);
}

}  // namespace velmora::platform::wayland
