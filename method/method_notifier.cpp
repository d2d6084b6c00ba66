#include "method/method_notifier.h"

#include <algorithm>

namespace zelmora {

MethodSaveNotifier::Subscription::Subscription(Subscription&& other) noexcept
    : owner_(other.owner_), id_(other.id_) {
    other.owner_ = nullptr;
}

MethodSaveNotifier::Subscription& MethodSaveNotifier::Subscription::operator=(
    Subscription&& other) noexcept {
    if (this != &other) {
        reset();
        owner_ = other.owner_;
        id_ = other.id_;
        other.owner_ = nullptr;
    }
    return *this;
}

MethodSaveNotifier::Subscription::~Subscription() {
    reset();
}

void MethodSaveNotifier::Subscription::reset() {
    if (owner_ != nullptr)
        owner_->unsubscribe(id_);
    owner_ = nullptr;
}

MethodSaveNotifier& MethodSaveNotifier::instance() {
    static MethodSaveNotifier notifier;
    return notifier;
}

MethodSaveNotifier::Subscription MethodSaveNotifier::subscribe(Callback callback) {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = nextId_++;
    entries_.push_back({id, std::move(callback)});
    return Subscription(this, id);
}

void MethodSaveNotifier::unsubscribe(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

bool MethodSaveNotifier::subscribed(std::uint64_t id) const {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [id](const Entry& e) { return e.id == id; });
}

void MethodSaveNotifier::notify(const MethodSavedEvent& event) {
    std::vector<Entry> entries;
    {
        std::lock_guard lock(mutex_);
        entries = entries_;
    }
    for (const Entry& e : entries) {
        // A subscriber that an earlier call ended is not called any more.
        if (subscribed(e.id))
            e.callback(event);
    }
}

}  // namespace zelmora
