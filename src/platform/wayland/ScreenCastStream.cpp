#include "platform/wayland/ScreenCastStream.h"

#include <unistd.h>

#include <atomic>
#include <mutex>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wpedantic"
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#pragma GCC diagnostic pop

namespace velmora::platform::wayland {

namespace {

// PipeWire's global state, set up once for the process.
void InitPipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// The packed 32-bit formats, in the compositor's order of preference.
constexpr spa_video_format kFormats[] = {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                                         SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA};

bool RedFirst(spa_video_format f) {
    return f == SPA_VIDEO_FORMAT_RGBx || f == SPA_VIDEO_FORMAT_RGBA;
}

}  // namespace

struct ScreenCastStream::State {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_video_info_raw format{};
    bool haveFormat = false;

    mutable std::mutex mutex;
    Bitmap latest;
    std::string error;
    std::string state = "unconnected";
    std::atomic<std::uint64_t> frames = 0;

    void Fail(std::string why) {
        std::lock_guard lock(mutex);
        if (error.empty()) error = std::move(why);
    }

    static void OnStateChanged(void* data, pw_stream_state, pw_stream_state state,
                               const char* why) {
        auto* s = static_cast<State*>(data);
        {
            std::lock_guard lock(s->mutex);
            s->state = pw_stream_state_as_string(state);
        }
        if (state == PW_STREAM_STATE_ERROR)
            s->Fail(std::string("the screen stream failed: ") + (why ? why : "no reason given"));
        if (state == PW_STREAM_STATE_UNCONNECTED) s->Fail("the screen stream was disconnected");
    }

    static void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
        auto* s = static_cast<State*>(data);
        if (!param || id != SPA_PARAM_Format) return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0 || info.size.width == 0 ||
            info.size.height == 0) {
            s->Fail("the screen stream offered no usable format");
            return;
        }
        s->format = info;
        s->haveFormat = true;
        // Buffers we can read in place: shared memory, mapped for us.
        uint8_t storage[256];
        spa_pod_builder b{};
        spa_pod_builder_init(&b, storage, sizeof storage);
        spa_pod_frame f{};
        spa_pod_builder_push_object(&b, &f, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
        spa_pod_builder_prop(&b, SPA_PARAM_BUFFERS_dataType, 0);
        spa_pod_builder_int(&b, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr));
        const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &f))};
        pw_stream_update_params(s->stream, params, 1);
    }

    static void OnProcess(void* data) {
        auto* s = static_cast<State*>(data);
        pw_buffer* newest = nullptr;
        // Only the newest frame matters: older ones queued meanwhile go straight back.
        while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
            if (newest) pw_stream_queue_buffer(s->stream, newest);
            newest = b;
        }
        if (!newest) return;
        s->Take(*newest->buffer);
        pw_stream_queue_buffer(s->stream, newest);
    }

    void Take(const spa_buffer& buffer) {
        if (!haveFormat || buffer.n_datas < 1) return;
        const spa_data& d = buffer.datas[0];
        if (!d.data || !d.chunk || (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) return;
        const int width = static_cast<int>(format.size.width);
        const int height = static_cast<int>(format.size.height);
        const std::int64_t stride = d.chunk->stride;
        const std::int64_t offset = d.chunk->offset;
        // A frame whose rows do not lie inside its buffer is not read.
        if (stride < std::int64_t{width} * 4 || offset < 0 ||
            offset + stride * (height - 1) + std::int64_t{width} * 4 > d.maxsize)
            return;
        Bitmap bm;
        bm.width = width;
        bm.height = height;
        bm.pixels.resize(static_cast<std::size_t>(width) * height);
        const bool redFirst = RedFirst(format.format);
        const auto* base = static_cast<const std::uint8_t*>(d.data) + offset;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = base + stride * y;
            std::uint32_t* out = bm.pixels.data() + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* px = row + x * 4;
                const std::uint32_t r = redFirst ? px[0] : px[2];
                const std::uint32_t g = px[1];
                const std::uint32_t b = redFirst ? px[2] : px[0];
                out[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
            }
        }
        {
            std::lock_guard lock(mutex);
            latest = std::move(bm);
        }
        ++frames;
    }

    static constexpr pw_stream_events kEvents = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = OnStateChanged;
        e.param_changed = OnParamChanged;
        e.process = OnProcess;
        return e;
    }();

    bool Connect(int fd, std::uint32_t node) {
        loop = pw_thread_loop_new("velmora-cast", nullptr);
        if (!loop) {
            close(fd);
            return false;
        }
        context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        if (!context) {
            close(fd);
            return false;
        }
        if (pw_thread_loop_start(loop) < 0) {
            close(fd);
            return false;
        }
        pw_thread_loop_lock(loop);
        core = pw_context_connect_fd(context, fd, nullptr, 0);  // owns fd, even on failure
        bool ok = core != nullptr;
        if (ok) {
            stream =
                pw_stream_new(core, "velmora-screen",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
            ok = stream != nullptr;
        }
        if (ok) {
            pw_stream_add_listener(stream, &listener, &kEvents, this);
            uint8_t storage[1024];
            spa_pod_builder b{};
            spa_pod_builder_init(&b, storage, sizeof storage);
            spa_pod_frame f{}, choice{};
            spa_pod_builder_push_object(&b, &f, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
            spa_pod_builder_prop(&b, SPA_FORMAT_mediaType, 0);
            spa_pod_builder_id(&b, SPA_MEDIA_TYPE_video);
            spa_pod_builder_prop(&b, SPA_FORMAT_mediaSubtype, 0);
            spa_pod_builder_id(&b, SPA_MEDIA_SUBTYPE_raw);
            spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_format, 0);
            spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
            spa_pod_builder_id(&b, kFormats[0]);  // the default
            for (const spa_video_format fmt : kFormats) spa_pod_builder_id(&b, fmt);
            spa_pod_builder_pop(&b, &choice);
            spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_size, 0);
            spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
            spa_pod_builder_rectangle(&b, 1920, 1080);
            spa_pod_builder_rectangle(&b, 1, 1);
            spa_pod_builder_rectangle(&b, 16384, 16384);
            spa_pod_builder_pop(&b, &choice);
            spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_framerate, 0);
            spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
            spa_pod_builder_fraction(&b, 30, 1);
            spa_pod_builder_fraction(&b, 0, 1);
            spa_pod_builder_fraction(&b, 1000, 1);
            spa_pod_builder_pop(&b, &choice);
            const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &f))};
            ok = pw_stream_connect(stream, PW_DIRECTION_INPUT, node,
                                   static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                                PW_STREAM_FLAG_MAP_BUFFERS),
                                   params, 1) == 0;
        }
        pw_thread_loop_unlock(loop);
        return ok;
    }

    ~State() {
        if (loop) pw_thread_loop_stop(loop);
        if (stream) pw_stream_destroy(stream);
        if (core) pw_core_disconnect(core);
        if (context) pw_context_destroy(context);
        if (loop) pw_thread_loop_destroy(loop);
    }
};

ScreenCastStream::ScreenCastStream(IEventLoop& loop, int fd, std::uint32_t node)
    : loop_(loop), s_(std::make_unique<State>()) {
    InitPipeWire();
    if (fd < 0) {
        s_->Fail("no PipeWire connection for the screen stream");
        return;
    }
    if (!s_->Connect(fd, node)) s_->Fail("the screen stream could not be connected");
}

ScreenCastStream::~ScreenCastStream() = default;

std::string ScreenCastStream::Error() const {
    std::lock_guard lock(s_->mutex);
    return s_->error;
}

Bitmap ScreenCastStream::Latest(int timeoutMs) {
    loop_.WaitUntil([this] { return s_->frames > 0 || !Error().empty(); }, timeoutMs);
    std::lock_guard lock(s_->mutex);
    return s_->latest;
}

std::uint64_t ScreenCastStream::Frames() const {
    return s_->frames;
}

std::string ScreenCastStream::StateName() const {
    std::lock_guard lock(s_->mutex);
    return s_->state;
}

}  // namespace velmora::platform::wayland
