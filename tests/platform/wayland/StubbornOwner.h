#pragma once

// A clipboard owner that misbehaves on purpose: it offers the types it is given and answers
// every paste in one bad way. A thread of its own serves its own connection.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client.h"

class StubbornOwner {
  public:
    enum class Answer {
        Silent,      // keeps the pipe open and never writes
        Endless,     // writes until the reader goes
        CloseAtOnce  // closes the pipe without a byte
    };

    StubbornOwner(const std::string& display, const std::vector<std::string>& types, Answer answer)
        : answer_(answer) {
        using namespace velmora::platform::wayland;
        // The endless writer meets the reader's closed pipe: EPIPE, not death.
        signal(SIGPIPE, SIG_IGN);
        display_ = ConnectDisplay(display);
        if (!display_) return;
        registry_ = wl_display_get_registry(display_.get());
        wl_registry_add_listener(registry_, &kRegistry, this);
        if (!Roundtrip(display_.get(), 5000) || !seat_ || !manager_) return;
        device_ = zwlr_data_control_manager_v1_get_data_device(manager_, seat_);
        zwlr_data_control_device_v1_add_listener(device_, &kDevice, this);
        source_ = zwlr_data_control_manager_v1_create_data_source(manager_);
        zwlr_data_control_source_v1_add_listener(source_, &kSource, this);
        for (const auto& t : types) zwlr_data_control_source_v1_offer(source_, t.c_str());
        zwlr_data_control_device_v1_set_selection(device_, source_);
        owning_ = Roundtrip(display_.get(), 5000);
        thread_ = std::thread([this] {
            while (!stop_)
                DispatchUntil(
                    display_.get(), [this] { return stop_.load(); }, 50);
        });
    }
    ~StubbornOwner() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : held_) close(fd);
        for (auto* offer : offers_) zwlr_data_control_offer_v1_destroy(offer);
        if (source_) zwlr_data_control_source_v1_destroy(source_);
        if (device_) zwlr_data_control_device_v1_destroy(device_);
        if (manager_) zwlr_data_control_manager_v1_destroy(manager_);
        if (seat_) wl_seat_destroy(seat_);
        if (registry_) wl_registry_destroy(registry_);
    }
    StubbornOwner(const StubbornOwner&) = delete;
    StubbornOwner& operator=(const StubbornOwner&) = delete;

    bool Owning() const { return owning_; }
    int Requests() const { return requests_; }

  private:
    static void OnGlobal(void* data, wl_registry* r, uint32_t name, const char* iface, uint32_t) {
        auto* self = static_cast<StubbornOwner*>(data);
        if (std::strcmp(iface, wl_seat_interface.name) == 0 && !self->seat_)
            self->seat_ = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
        if (std::strcmp(iface, zwlr_data_control_manager_v1_interface.name) == 0 && !self->manager_)
            self->manager_ = static_cast<zwlr_data_control_manager_v1*>(
                wl_registry_bind(r, name, &zwlr_data_control_manager_v1_interface, 1));
    }
    static void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
    static void OnSend(void* data, zwlr_data_control_source_v1*, const char*, int32_t fd) {
        auto* self = static_cast<StubbornOwner*>(data);
        ++self->requests_;
        switch (self->answer_) {
            case Answer::Silent:
                self->held_.push_back(fd);
                return;
            case Answer::Endless: {
                const std::string chunk(65536, 'x');
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                while (!self->stop_ && std::chrono::steady_clock::now() < end &&
                       write(fd, chunk.data(), chunk.size()) > 0) {
                }
                close(fd);
                return;
            }
            case Answer::CloseAtOnce:
                close(fd);
                return;
        }
    }
    static void OnCancelled(void*, zwlr_data_control_source_v1*) {}
    // The selection offers sway sends every data-control client, its own included: kept to be
    // destroyed at the end.
    static void OnDataOffer(void* data, zwlr_data_control_device_v1*,
                            zwlr_data_control_offer_v1* offer) {
        static_cast<StubbornOwner*>(data)->offers_.push_back(offer);
    }
    static void OnSelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
    static void OnFinished(void*, zwlr_data_control_device_v1*) {}
    static void OnPrimary(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
    static constexpr zwlr_data_control_device_v1_listener kDevice{OnDataOffer, OnSelection,
                                                                  OnFinished, OnPrimary};
    static constexpr wl_registry_listener kRegistry{OnGlobal, OnGlobalRemove};
    static constexpr zwlr_data_control_source_v1_listener kSource{OnSend, OnCancelled};

    Answer answer_;
    velmora::platform::wayland::DisplayPtr display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_data_control_manager_v1* manager_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    zwlr_data_control_source_v1* source_ = nullptr;
    std::vector<int> held_;
    std::vector<zwlr_data_control_offer_v1*> offers_;
    std::atomic<int> requests_ = 0;
    std::atomic<bool> stop_ = false;
    bool owning_ = false;
    std::thread thread_;
};
