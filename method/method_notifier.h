#pragma once
// Tells whoever keeps a copy of a method (an open chromatogram, for one)
// that a method file was saved, so that the copy can be reloaded by name.
// A subscription lasts as long as its Subscription object.
//
// Subscribers are called on the thread that saved the method, after the
// file is on disk and outside the notifier's lock, so a subscriber may read
// the method again or end its own subscription from the call.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zelmora {

struct MethodSavedEvent {
    std::string name;      // the method's name (file title)
    bool newName = false;  // saved under a new name ("Записать как")
};

class MethodSaveNotifier {
  public:
    using Callback = std::function<void(const MethodSavedEvent&)>;

    class Subscription {
      public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription();

        void reset();
        bool active() const { return owner_ != nullptr; }

      private:
        friend class MethodSaveNotifier;
        Subscription(MethodSaveNotifier* owner, std::uint64_t id) : owner_(owner), id_(id) {}
        MethodSaveNotifier* owner_ = nullptr;
        std::uint64_t id_ = 0;
    };

    static MethodSaveNotifier& instance();

    [[nodiscard]] Subscription subscribe(Callback callback);
    void notify(const MethodSavedEvent& event);

  private:
    struct Entry {
        std::uint64_t id;
        Callback callback;
    };
    void unsubscribe(std::uint64_t id);
    bool subscribed(std::uint64_t id) const;

    mutable std::mutex mutex_;  // guards entries_ and nextId_
    std::vector<Entry> entries_;
    std::uint64_t nextId_ = 1;
};

}  // namespace zelmora
