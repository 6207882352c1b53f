#include "platform/wayland/DataControlSession.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/wayland/ClipboardFormats.h"
#include "platform/wayland/PipeIo.h"
#include "platform/wayland/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client.h"

namespace velmora::platform::wayland {

namespace {

using Manager = Proxy<zwlr_data_control_manager_v1, zwlr_data_control_manager_v1_destroy>;
using Device = Proxy<zwlr_data_control_device_v1, zwlr_data_control_device_v1_destroy>;
using OfferProxy = Proxy<zwlr_data_control_offer_v1, zwlr_data_control_offer_v1_destroy>;
using SourceProxy = Proxy<zwlr_data_control_source_v1, zwlr_data_control_source_v1_destroy>;

struct Offer {
    OfferProxy proxy;
    std::vector<std::string> types;
};

struct Source {
    DataControlSession::State* session = nullptr;
    SourceProxy proxy;
    std::shared_ptr<const ClipboardContents> contents;
    std::shared_ptr<std::atomic<int>> reads;
    // One buffer per type, shared by the writes in flight.
    std::map<std::string, std::shared_ptr<const std::string>> bytes;
};

}  // namespace

struct DataControlSession::State {
    Limits limits;
    std::function<void()> onEvent;

    // Declared first, so that it is closed after every proxy on it.
    DisplayPtr display;
    RegistryPtr registry;
    SeatPtr seat;
    Manager manager;
    Device device;

    // Everything below, and every request on the connection, under this lock: the session's
    // thread dispatches events while holding it.
    std::mutex lock;
    std::condition_variable answered;
    bool broken = false;
    bool stop = false;
    UniqueFd wake;  // an eventfd: ends the thread's poll

    std::map<zwlr_data_control_offer_v1*, std::unique_ptr<Offer>> introduced;
    std::unique_ptr<Offer> selection;
    std::map<zwlr_data_control_source_v1*, std::unique_ptr<Source>> sources;
    Source* current = nullptr;  // ours, while it is the selection
    std::vector<PendingWrite> writes;
    std::thread thread;

    void Kick() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wake.Get(), &one, sizeof one);
    }
    void Notify() {
        if (onEvent) onEvent();
    }
};

namespace {

using State = DataControlSession::State;

// Registry: the seat and the data-control manager.
void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    auto* s = static_cast<State*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !s->seat)
        s->seat.reset(
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1)));
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0 &&
             !s->manager && version >= 1)
        // Version 1: the regular selection is all we use, and no primary-selection events.
        s->manager.reset(static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1)));
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};

// An offer's types, bounded: a peer may offer any number of them.
void OnOfferType(void* data, zwlr_data_control_offer_v1*, const char* type) {
    auto* offer = static_cast<Offer*>(data);
    const std::size_t length = std::strlen(type);
    if (length == 0 || length > DataControlSession::kMaxTypeLength) return;
    // Past the bound only the few types we read text or a picture through still count.
    if (offer->types.size() >= DataControlSession::kMaxOfferTypes && !IsPreferredType(type)) return;
    if (std::find(offer->types.begin(), offer->types.end(), type) == offer->types.end())
        offer->types.emplace_back(type, length);
}
const zwlr_data_control_offer_v1_listener kOfferListener{OnOfferType};

void OnDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* id) {
    auto* s = static_cast<State*>(data);
    auto offer = std::make_unique<Offer>();
    offer->proxy.reset(id);
    zwlr_data_control_offer_v1_add_listener(id, &kOfferListener, offer.get());
    // Offers never made the selection would pile up under a misbehaving compositor.
    if (s->introduced.size() >= 8) s->introduced.clear();
    s->introduced[id] = std::move(offer);
}

void OnSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* id) {
    auto* s = static_cast<State*>(data);
    s->selection.reset();
    if (id) {
        const auto it = s->introduced.find(id);
        if (it != s->introduced.end()) s->selection = std::move(it->second);
    }
    s->introduced.clear();
    s->Notify();
}

void OnFinished(void* data, zwlr_data_control_device_v1*) {
    auto* s = static_cast<State*>(data);
    s->selection.reset();
    s->introduced.clear();
    s->device.reset();
}
// Bound at version 1: no primary selection events come.
void OnPrimarySelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
const zwlr_data_control_device_v1_listener kDeviceListener{OnDataOffer, OnSelection, OnFinished,
                                                           OnPrimarySelection};

void OnSend(void* data, zwlr_data_control_source_v1*, const char* type, int32_t fd) {
    UniqueFd pipe(fd);
    auto* source = static_cast<Source*>(data);
    State* s = source->session;
    const auto it = source->bytes.find(type);
    if (it == source->bytes.end() || s->writes.size() >= DataControlSession::kMaxPendingWrites)
        return;  // not ours to answer, or too many readers at once: the reader sees EOF
    if (source->reads) ++*source->reads;
    PendingWrite write(
        std::move(pipe), it->second,
        std::chrono::steady_clock::now() + std::chrono::milliseconds(s->limits.writeMs));
    if (!write.Pump()) s->writes.push_back(std::move(write));
    s->Notify();
}

void OnCancelled(void* data, zwlr_data_control_source_v1* proxy) {
    auto* source = static_cast<Source*>(data);
    State* s = source->session;
    if (s->current == source) s->current = nullptr;
    s->sources.erase(proxy);
}
const zwlr_data_control_source_v1_listener kSourceListener{OnSend, OnCancelled};

void OnSyncDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}
const wl_callback_listener kSyncListener{OnSyncDone};

}  // namespace

DataControlSession::DataControlSession(const std::string& display, std::function<void()> onEvent,
                                       Limits limits)
    : s_(std::make_unique<State>()) {
    s_->limits = limits;
    s_->onEvent = std::move(onEvent);
    s_->display = ConnectDisplay(display);
    if (!s_->display) return;
    s_->registry.reset(wl_display_get_registry(s_->display.get()));
    if (!s_->registry) return;
    wl_registry_add_listener(s_->registry.get(), &kRegistryListener, s_.get());
    if (!Roundtrip(s_->display.get(), limits.syncMs) || !s_->manager || !s_->seat) return;
    s_->device.reset(
        zwlr_data_control_manager_v1_get_data_device(s_->manager.get(), s_->seat.get()));
    if (!s_->device) return;
    zwlr_data_control_device_v1_add_listener(s_->device.get(), &kDeviceListener, s_.get());
    // The first selection event comes upon binding.
    if (!Roundtrip(s_->display.get(), limits.syncMs)) return;
    s_->wake.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!s_->wake) return;
    s_->thread = std::thread([this] { Run(); });
}

DataControlSession::~DataControlSession() {
    if (s_->thread.joinable()) {
        {
            std::lock_guard<std::mutex> hold(s_->lock);
            s_->stop = true;
        }
        s_->Kick();
        s_->thread.join();
    }
    // Our sources go with the connection; the compositor then drops a selection of ours.
    s_->current = nullptr;
    s_->sources.clear();
    s_->selection.reset();
    s_->introduced.clear();
    s_->writes.clear();
}

bool DataControlSession::Ready() const {
    std::lock_guard<std::mutex> hold(s_->lock);
    return s_->thread.joinable() && !s_->broken && s_->device != nullptr;
}

void DataControlSession::Run() {
    // Signals belong to the program's other threads; a reader that closed its pipe early
    // raises SIGPIPE here, which PendingWrite takes off.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    State& s = *s_;
    wl_display* d = s.display.get();
    std::vector<pollfd> fds;
    for (;;) {
        bool wantOut = false;
        int timeout = -1;
        {
            std::unique_lock<std::mutex> hold(s.lock);
            if (s.stop || s.broken) break;
            bool failed = false;
            while (wl_display_prepare_read(d) != 0)
                if (wl_display_dispatch_pending(d) < 0) {
                    failed = true;
                    break;
                }
            if (failed) {
                s.broken = true;
                s.answered.notify_all();
                break;
            }
            if (wl_display_flush(d) < 0) {
                if (errno != EAGAIN) {
                    wl_display_cancel_read(d);
                    s.broken = true;
                    s.answered.notify_all();
                    break;
                }
                wantOut = true;
            }
            fds.clear();
            fds.push_back(
                {wl_display_get_fd(d), static_cast<short>(POLLIN | (wantOut ? POLLOUT : 0)), 0});
            fds.push_back({s.wake.Get(), POLLIN, 0});
            const auto now = std::chrono::steady_clock::now();
            for (const PendingWrite& w : s.writes) {
                fds.push_back({w.fd(), POLLOUT, 0});
                const auto ms =
                    std::chrono::duration_cast<std::chrono::milliseconds>(w.deadline() - now)
                        .count();
                const int left = static_cast<int>(std::clamp<long long>(ms + 1, 0, 60'000));
                timeout = timeout < 0 ? left : std::min(timeout, left);
            }
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        std::unique_lock<std::mutex> hold(s.lock);
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            if (wl_display_read_events(d) < 0) {
                s.broken = true;
                s.answered.notify_all();
                break;
            }
        } else {
            wl_display_cancel_read(d);
        }
        if (fds[0].revents & (POLLERR | POLLHUP) && !(fds[0].revents & POLLIN)) {
            s.broken = true;
            s.answered.notify_all();
            break;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = read(s.wake.Get(), &count, sizeof count);
        }
        if (wl_display_dispatch_pending(d) < 0) {
            s.broken = true;
            s.answered.notify_all();
            break;
        }
        // Every write in flight takes what its pipe takes; the finished and the late go.
        std::erase_if(s.writes, [](PendingWrite& w) { return w.Pump(); });
        s.answered.notify_all();
    }
}

bool DataControlSession::SetSelection(std::shared_ptr<const ClipboardContents> contents,
                                      std::shared_ptr<std::atomic<int>> reads) {
    std::lock_guard<std::mutex> hold(s_->lock);
    if (!s_->thread.joinable() || s_->broken || !s_->device) return false;
    if (!contents || contents->formats.empty()) {
        zwlr_data_control_device_v1_set_selection(s_->device.get(), nullptr);
        s_->current = nullptr;
    } else {
        auto source = std::make_unique<Source>();
        source->session = s_.get();
        source->proxy.reset(zwlr_data_control_manager_v1_create_data_source(s_->manager.get()));
        if (!source->proxy) return false;
        source->contents = contents;
        source->reads = std::move(reads);
        zwlr_data_control_source_v1_add_listener(source->proxy.get(), &kSourceListener,
                                                 source.get());
        for (const auto& [type, bytes] : contents->formats) {
            if (source->bytes.count(type)) continue;
            source->bytes[type] = std::make_shared<const std::string>(bytes);
            zwlr_data_control_source_v1_offer(source->proxy.get(), type.c_str());
        }
        zwlr_data_control_device_v1_set_selection(s_->device.get(), source->proxy.get());
        s_->current = source.get();
        auto* key = source->proxy.get();
        s_->sources[key] = std::move(source);
    }
    wl_display_flush(s_->display.get());
    s_->Kick();
    return true;
}

bool DataControlSession::Sync() {
    std::unique_lock<std::mutex> hold(s_->lock);
    if (!s_->thread.joinable() || s_->broken) return false;
    bool done = false;
    CallbackPtr sync(wl_display_sync(s_->display.get()));
    if (!sync) return false;
    wl_callback_add_listener(sync.get(), &kSyncListener, &done);
    wl_display_flush(s_->display.get());
    s_->Kick();
    s_->answered.wait_for(hold, std::chrono::milliseconds(s_->limits.syncMs),
                          [&] { return done || s_->broken; });
    return done;
}

std::shared_ptr<const ClipboardContents> DataControlSession::Owned() {
    std::lock_guard<std::mutex> hold(s_->lock);
    return s_->current ? s_->current->contents : nullptr;
}

std::optional<std::vector<std::string>> DataControlSession::OfferedTypes() {
    std::lock_guard<std::mutex> hold(s_->lock);
    if (!s_->thread.joinable() || s_->broken || !s_->device) return std::nullopt;
    if (!s_->selection) return std::vector<std::string>();
    return s_->selection->types;
}

UniqueFd DataControlSession::Receive(const std::string& type) {
    std::lock_guard<std::mutex> hold(s_->lock);
    if (!s_->thread.joinable() || s_->broken || !s_->selection) return {};
    UniqueFd readEnd, writeEnd;
    if (!MakeReadPipe(readEnd, writeEnd)) return {};
    // The request carries a copy of the write end; ours closes now, so the reader sees EOF
    // once the owner closes its own.
    zwlr_data_control_offer_v1_receive(s_->selection->proxy.get(), type.c_str(), writeEnd.Get());
    wl_display_flush(s_->display.get());
    s_->Kick();
    return readEnd;
}

}  // namespace velmora::platform::wayland
