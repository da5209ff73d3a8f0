// ChunkedVector: a sequence that grows by whole chunks of a fixed size and never moves what
// it holds. Growing costs one allocation of a chunk (and, now and then, of the chunk table),
// never a copy of the elements: a log's line index grows this way under g_connectLock
// without holding it for a copy of millions of entries.
//
// Only what the logs need: push_back, back, [], size, clear. Not thread-safe. Free of Qt.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

template <typename T, std::size_t kChunkSize = 4096>
class ChunkedVector {
public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](std::size_t i) const { return chunks_[i / kChunkSize][i % kChunkSize]; }
    T& operator[](std::size_t i) { return chunks_[i / kChunkSize][i % kChunkSize]; }
    const T& back() const { return (*this)[size_ - 1]; }

    // Makes room for one more element without adding it: push_back after it allocates
    // nothing. Throws std::bad_alloc, leaving the sequence as it was. The first chunk grows
    // like a vector (a short log keeps a short index); later ones are made whole.
    void reserve_one() {
        if (chunks_.empty()) {
            std::vector<T> first;
            first.reserve(16);
            chunks_.reserve(8);
            chunks_.push_back(std::move(first));
            return;
        }
        std::vector<T>& last = chunks_.back();
        if (last.size() < last.capacity())
            return;
        if (last.capacity() < kChunkSize) {
            last.reserve(std::min(kChunkSize, last.capacity() * 2));
            return;
        }
        std::vector<T> next;
        next.reserve(kChunkSize);
        if (chunks_.size() == chunks_.capacity())
            chunks_.reserve(chunks_.size() * 2);  // moves the chunks' handles, not elements
        chunks_.push_back(std::move(next));
    }
    void push_back(const T& value) {
        reserve_one();
        chunks_.back().push_back(value);
        ++size_;
    }
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }

private:
    std::vector<std::vector<T>>
        chunks_;  // each full but the last; all but the first hold kChunkSize
    std::size_t size_ = 0;
};
