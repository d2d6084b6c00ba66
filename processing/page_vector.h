#pragma once
// A growing array of plain records kept in pages mapped for it alone, for
// the lists that automatic marking builds beside a long trace (the peaks
// found while scanning and their indexes).
//
// Why not std::vector: on the heap, the buffers a growing vector leaves
// behind, and a list freed while the peak table is being built from it, stay
// resident in the process (the allocator keeps them for later), so a run on
// 10^8 samples would hold the list two or three times over next to the new
// table. Here growing remaps the pages (no copy left behind), the part of
// the list already turned into table rows can be given back page by page
// (discardBefore), and the destructor unmaps everything.
//
// Linux only (mremap). Out of memory throws std::bad_alloc.

#include <sys/mman.h>

#include <unistd.h>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace zelmora {

template <class T>
class PageVector {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    PageVector() = default;
    PageVector(const PageVector&) = delete;
    PageVector& operator=(const PageVector&) = delete;
    ~PageVector() { clear(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }

    void push_back(const T& v) {
        grow();
        data_[size_++] = v;
    }

    // Inserts v before position `at` (at <= size()).
    void insert(const T* at, const T& v) {
        const std::size_t i = static_cast<std::size_t>(at - data_);
        grow();
        std::memmove(data_ + i + 1, data_ + i, (size_ - i) * sizeof(T));
        data_[i] = v;
        ++size_;
    }

    // Gives back the whole pages that hold only records before `k`; they
    // must not be read again (what lies in them reads as zero bytes).
    void discardBefore(std::size_t k) {
        const std::size_t page = pageSize();
        const std::size_t bytes = k * sizeof(T) / page * page;
        if (bytes > discarded_) {
            ::madvise(reinterpret_cast<char*>(data_) + discarded_, bytes - discarded_,
                      MADV_DONTNEED);
            discarded_ = bytes;
        }
    }

    // Unmaps the pages.
    void clear() {
        if (data_)
            ::munmap(data_, bytes_);
        data_ = nullptr;
        size_ = bytes_ = discarded_ = 0;
    }

  private:
    static std::size_t pageSize() {
        static const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        return page;
    }

    // Room for one more record: the mapping doubles, moved by the kernel.
    void grow() {
        if ((size_ + 1) * sizeof(T) <= bytes_)
            return;
        const std::size_t page = pageSize();
        const std::size_t want = std::max(bytes_ * 2, (64 * sizeof(T) + page - 1) / page * page);
        void* p = data_ ? ::mremap(data_, bytes_, want, MREMAP_MAYMOVE)
                        : ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                                 -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        data_ = static_cast<T*>(p);
        bytes_ = want;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t bytes_ = 0;      // mapped
    std::size_t discarded_ = 0;  // bytes at the front given back
};

}  // namespace zelmora
