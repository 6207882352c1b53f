#pragma once

#include <chrono>
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/IEventLoop.h"

// Jobs written as straight-line code that suspends on the event loop instead of running a
// nested one: while a job waits, the loop's other handlers run after it, never inside it.
namespace velmora::platform {

template <typename T = void>
class Task;

namespace detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::exception_ptr error;
    // Set on a job started with Start: called once it has ended.
    std::function<void(std::exception_ptr)> onDone;

    std::suspend_always initial_suspend() noexcept { return {}; }
    struct Final {
        bool await_ready() noexcept { return false; }
        template <typename P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept {
            PromiseBase& p = h.promise();
            if (p.continuation) return p.continuation;
            if (p.onDone) {
                // The callback may destroy this very frame (its owner lets it go): nothing of
                // the frame is touched after the call.
                auto done = std::move(p.onDone);
                done(p.error);
            }
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    Final final_suspend() noexcept { return {}; }
    void unhandled_exception() { error = std::current_exception(); }
};

template <typename T>
struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object();
    template <typename U>
    void return_value(U&& v) {
        value.emplace(std::forward<U>(v));
    }
    T Take() {
        if (error) std::rethrow_exception(error);
        return std::move(*value);
    }
};

template <>
struct Promise<void> : PromiseBase {
    Task<void> get_return_object();
    void return_void() {}
    void Take() {
        if (error) std::rethrow_exception(error);
    }
};

}  // namespace detail

// A coroutine that starts when awaited (or when Start is called) and owns its frame.
template <typename T>
class [[nodiscard]] Task {
  public:
    using promise_type = detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle h) : h_(h) {}
    Task(Task&& o) noexcept : h_(std::exchange(o.h_, {})) {}
    Task& operator=(Task&& o) noexcept {
        if (this != &o) {
            Reset();
            h_ = std::exchange(o.h_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { Reset(); }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept {
        h_.promise().continuation = caller;
        return h_;
    }
    T await_resume() { return h_.promise().Take(); }

    // Runs the task as a job of its own up to its first suspension; done is called on the
    // loop's thread when it has ended, with what it threw. Destroying the Task before then
    // abandons the job (its waits are dropped).
    void Start(std::function<void(std::exception_ptr)> done) {
        h_.promise().onDone = std::move(done);
        h_.resume();
    }
    bool Done() const { return !h_ || h_.done(); }
    explicit operator bool() const { return static_cast<bool>(h_); }

  private:
    void Reset() {
        if (h_) h_.destroy();
        h_ = {};
    }
    Handle h_;
};

namespace detail {
template <typename T>
Task<T> Promise<T>::get_return_object() {
    return Task<T>{std::coroutine_handle<Promise<T>>::from_promise(*this)};
}
inline Task<void> Promise<void>::get_return_object() {
    return Task<void>{std::coroutine_handle<Promise<void>>::from_promise(*this)};
}

// Resumes a suspended coroutine from a loop callback unless the awaiting frame was destroyed
// meanwhile (its job abandoned).
class Resumer {
  public:
    void Arm(std::coroutine_handle<> h) {
        h_ = h;
        alive_ = std::make_shared<bool>(true);
    }
    std::function<void()> Callback() const {
        return [h = h_, alive = std::weak_ptr<bool>(alive_)] {
            if (auto a = alive.lock(); a && *a) h.resume();
        };
    }
    ~Resumer() {
        if (alive_) *alive_ = false;
    }

  private:
    std::coroutine_handle<> h_;
    std::shared_ptr<bool> alive_;
};
}  // namespace detail

// co_await Delay(loop, ms): the loop runs other handlers meanwhile.
class Delay {
  public:
    Delay(IEventLoop& loop, int ms) : loop_(loop), ms_(ms) {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) {
        resumer_.Arm(h);
        loop_.After(ms_ > 0 ? ms_ : 0, resumer_.Callback());
    }
    void await_resume() const noexcept {}

  private:
    IEventLoop& loop_;
    int ms_;
    detail::Resumer resumer_;
};

// A delay that an event may cut short: co_await bell.Wait(loop, ms) resumes after ms, or at
// the loop's next turn after Ring(), whichever comes first; never inside Ring's caller. One
// job waits on a bell at a time; a ring while none waits is lost. Loop thread only.
class Bell {
  public:
    class Awaiter {
      public:
        Awaiter(Bell& bell, IEventLoop& loop, int ms) : bell_(bell), loop_(loop), ms_(ms) {}
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) {
            resumer_.Arm(h);
            bell_.loop_ = &loop_;
            bell_.resume_ = resumer_.Callback();
            loop_.After(ms_ > 0 ? ms_ : 0, resumer_.Callback());
        }
        void await_resume() noexcept { bell_.resume_ = nullptr; }

      private:
        Bell& bell_;
        IEventLoop& loop_;
        int ms_;
        detail::Resumer resumer_;
    };
    Awaiter Wait(IEventLoop& loop, int ms) { return Awaiter(*this, loop, ms); }
    // The waiting job resumes at the loop's next turn; its timer, when it comes, does nothing.
    void Ring() {
        if (resume_) loop_->Post(std::exchange(resume_, nullptr));
    }

  private:
    IEventLoop* loop_ = nullptr;
    std::function<void()> resume_;
};

// co_await Until(loop, done, timeoutMs): true once done() holds, checked now and then every
// kPollMs (conditions on other programs' windows change with no event of ours); false when
// timeoutMs passed first. The bound holds on the clock too: a check that takes long itself (a
// whole screen searched) must not stretch it by its own cost.
inline Task<bool> Until(IEventLoop& loop, std::function<bool()> done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int waited = 0;; waited += IEventLoop::kPollMs) {
        if (done()) co_return true;
        if (waited >= timeoutMs || std::chrono::steady_clock::now() >= end) co_return false;
        co_await Delay(loop, IEventLoop::kPollMs);
    }
}

// co_await Aside(loop, work): work runs on a thread of its own while the loop goes on; the job
// resumes on the loop's thread with work's result (or its exception).
template <typename F, typename R = std::invoke_result_t<F>>
class Aside {
  public:
    Aside(IEventLoop& loop, F work) : loop_(loop), work_(std::move(work)) {}
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> h) {
        resumer_.Arm(h);
        auto slot = slot_;
        loop_.RunAside(
            [slot, work = std::move(work_)]() mutable {
                try {
                    if constexpr (std::is_void_v<R>) {
                        work();
                        slot->ran = true;
                    } else {
                        slot->value.emplace(work());
                    }
                } catch (...) {
                    slot->error = std::current_exception();
                }
            },
            resumer_.Callback());
    }
    R await_resume() {
        if (slot_->error) std::rethrow_exception(slot_->error);
        if constexpr (!std::is_void_v<R>) return std::move(*slot_->value);
    }

  private:
    struct Slot {
        std::optional<std::conditional_t<std::is_void_v<R>, bool, R>> value;
        bool ran = false;
        std::exception_ptr error;
    };
    IEventLoop& loop_;
    F work_;
    std::shared_ptr<Slot> slot_ = std::make_shared<Slot>();
    detail::Resumer resumer_;
};

}  // namespace velmora::platform
