// Lists of callbacks that other objects subscribe to for as long as they live:
// a subscription is a token whose destruction removes its callback, so a window
// that closes cannot be called afterwards. Callbacks may add or drop
// subscriptions, their own included, while the list is being called.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velcora {

namespace detail {
struct HookSlotBase {
    virtual ~HookSlotBase() = default;
    bool alive = true;
};
}  // namespace detail

class HookSubscription {
  public:
    HookSubscription() = default;
    explicit HookSubscription(std::shared_ptr<detail::HookSlotBase> slot)
        : slot_(std::move(slot)) {}
    ~HookSubscription() { Reset(); }
    HookSubscription(HookSubscription&& other) noexcept : slot_(std::move(other.slot_)) {}
    HookSubscription& operator=(HookSubscription&& other) noexcept {
        if (this != &other) {
            Reset();
            slot_ = std::move(other.slot_);
        }
        return *this;
    }
    HookSubscription(const HookSubscription&) = delete;
    HookSubscription& operator=(const HookSubscription&) = delete;

    void Reset() {
        if (slot_)
            slot_->alive = false;
        slot_.reset();
    }
    bool Active() const { return slot_ != nullptr; }

  private:
    std::shared_ptr<detail::HookSlotBase> slot_;
};

template <class... Args>
class HookList {
  public:
    using Hook = std::function<void(Args...)>;

    [[nodiscard]] HookSubscription Add(Hook hook) {
        auto slot = std::make_shared<Slot>();
        slot->hook = std::move(hook);
        Prune();
        slots_.push_back(slot);
        return HookSubscription(slot);
    }

    // Calls the live hooks in subscription order; hooks added meanwhile wait
    // for the next call, hooks dropped meanwhile are not called.
    void Call(Args... args) {
        const std::vector<std::shared_ptr<Slot>> snapshot = slots_;
        for (const auto& s : snapshot) {
            if (s->alive && s->hook)
                s->hook(args...);
        }
        Prune();
    }

    bool Empty() const {
        for (const auto& s : slots_) {
            if (s->alive)
                return false;
        }
        return true;
    }

  private:
    struct Slot : detail::HookSlotBase {
        Hook hook;
    };

    void Prune() {
        std::erase_if(slots_, [](const std::shared_ptr<Slot>& s) { return !s->alive; });
    }

    std::vector<std::shared_ptr<Slot>> slots_;
};

}  // namespace velcora
