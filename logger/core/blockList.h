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
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    const T& operator[](size_t i) const
    {
        const size_t b = BlockOf(i);
        return m_blocks[b][i - m_starts[b]];
    }
    T& operator[](size_t i)
    {
        const size_t b = BlockOf(i);
        return m_blocks[b][i - m_starts[b]];
    }
    T& back() { return m_blocks.back().back(); }
    const T& back() const { return m_blocks.back().back(); }

    void clear()
    {
        m_blocks.clear();
        m_starts.clear();
        m_size = 0;
    }

    void push_back(const T& value) { insert(m_size, value); }

    void insert(size_t pos, const T& value)
    {
        if (m_blocks.empty()) {
            m_blocks.emplace_back();
            m_starts.push_back(0);
        }
        size_t b = pos == m_size ? m_blocks.size() - 1 : BlockOf(pos);
        std::vector<T>& block = m_blocks[b];
        block.insert(block.begin() + std::ptrdiff_t(pos - m_starts[b]), value);
        ++m_size;
        for (size_t k = b + 1; k < m_starts.size(); ++k)
            ++m_starts[k];
        if (block.size() >= 2 * kBlock) {
            std::vector<T> tail(block.begin() + kBlock, block.end());
            block.resize(kBlock);
            m_blocks.insert(m_blocks.begin() + std::ptrdiff_t(b + 1), std::move(tail));
            m_starts.insert(m_starts.begin() + std::ptrdiff_t(b + 1), m_starts[b] + kBlock);
        }
    }

    // Replaces the contents, in the given order.
    void assign(std::vector<T>&& values)
    {
        clear();
        m_size = values.size();
        for (size_t i = 0; i < values.size(); i += kBlock) {
            const size_t end = std::min(values.size(), i + kBlock);
            m_blocks.emplace_back(values.begin() + std::ptrdiff_t(i), values.begin() + std::ptrdiff_t(end));
            m_starts.push_back(i);
        }
    }

    template <typename F> void ForEach(F f) const
    {
        for (const std::vector<T>& block : m_blocks)
            for (const T& v : block)
                f(v);
    }

private:
    static constexpr size_t kBlock = 256;

    size_t BlockOf(size_t i) const
    {
        return size_t(std::upper_bound(m_starts.begin(), m_starts.end(), i) - m_starts.begin()) - 1;
    }

    std::vector<std::vector<T>> m_blocks;
    std::vector<size_t> m_starts; // index of each block's first element
    size_t m_size = 0;
};
