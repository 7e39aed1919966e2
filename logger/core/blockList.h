#pragma once
// A sequence kept in blocks of a few hundred elements: indexing is a short
// binary search, and an insert anywhere moves one block, not the whole
// table. The main table takes a new alarm at any place of a sorted order,
// tens of thousands of times over a table of a hundred thousand rows.
#include <algorithm>
#include <cstddef>
#include <vector>

template <typename T> class TBlockList {
public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    const T& operator[](size_t i) const
    {
        const size_t b = BlockOf(i);
        return blocks_[b][i - starts_[b]];
    }
    T& operator[](size_t i)
    {
        const size_t b = BlockOf(i);
        return blocks_[b][i - starts_[b]];
    }
    T& back() { return blocks_.back().back(); }
    const T& back() const { return blocks_.back().back(); }

    void clear()
    {
        blocks_.clear();
        starts_.clear();
        size_ = 0;
    }

    void push_back(const T& value) { insert(size_, value); }

    void insert(size_t pos, const T& value)
    {
        if (blocks_.empty()) {
            blocks_.emplace_back();
            starts_.push_back(0);
        }
        size_t b = pos == size_ ? blocks_.size() - 1 : BlockOf(pos);
        std::vector<T>& block = blocks_[b];
        block.insert(block.begin() + std::ptrdiff_t(pos - starts_[b]), value);
        ++size_;
        for (size_t k = b + 1; k < starts_.size(); ++k)
            ++starts_[k];
        if (block.size() >= 2 * kBlock) {
            std::vector<T> tail(block.begin() + kBlock, block.end());
            block.resize(kBlock);
            blocks_.insert(blocks_.begin() + std::ptrdiff_t(b + 1), std::move(tail));
            starts_.insert(starts_.begin() + std::ptrdiff_t(b + 1), starts_[b] + kBlock);
        }
    }

    // Replaces the contents, in the given order.
    void assign(std::vector<T>&& values)
    {
        clear();
        size_ = values.size();
        for (size_t i = 0; i < values.size(); i += kBlock) {
            const size_t end = std::min(values.size(), i + kBlock);
            blocks_.emplace_back(values.begin() + std::ptrdiff_t(i), values.begin() + std::ptrdiff_t(end));
            starts_.push_back(i);
        }
    }

    template <typename F> void ForEach(F f) const
    {
        for (const std::vector<T>& block : blocks_)
            for (const T& v : block)
                f(v);
    }

private:
    static constexpr size_t kBlock = 256;

    size_t BlockOf(size_t i) const
    {
        return size_t(std::upper_bound(starts_.begin(), starts_.end(), i) - starts_.begin()) - 1;
    }

    std::vector<std::vector<T>> blocks_;
    std::vector<size_t> starts_; // index of each block's first element
    size_t size_ = 0;
};
