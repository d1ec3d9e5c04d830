#pragma once

#include <QByteArrayView>

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// Storage for tables of millions of records that grows one block at a time. Nothing is moved
// when it grows, so a growing table never stops the event loop for a large copy, references to
// records stay valid, and memory is touched only as records arrive.

namespace blocks {

inline char* allocate(size_t bytes)
{
    void* p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return static_cast<char*>(p);
}

} // namespace blocks

// An array of trivially copyable records in blocks of 2^Shift records.
template <class T, int Shift> class BlockArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    static constexpr size_t kPerBlock = size_t(1) << Shift;

    BlockArray() = default;
    BlockArray(const BlockArray&) = delete;
    BlockArray& operator=(const BlockArray&) = delete;
    BlockArray(BlockArray&& other) noexcept { *this = std::move(other); }
    BlockArray& operator=(BlockArray&& other) noexcept
    {
        if (this != &other) {
            clear();
            m_blocks.swap(other.m_blocks);
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }
    ~BlockArray() { clear(); }

    [[nodiscard]] size_t size() const { return m_size; }
    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] T& operator[](size_t i) { return m_blocks[i >> Shift][i & (kPerBlock - 1)]; }
    [[nodiscard]] const T& operator[](size_t i) const { return m_blocks[i >> Shift][i & (kPerBlock - 1)]; }

    void push_back(const T& value)
    {
        if (m_size == m_blocks.size() * kPerBlock)
            m_blocks.push_back(reinterpret_cast<T*>(blocks::allocate(kPerBlock * sizeof(T))));
        new (&(*this)[m_size]) T(value);
        ++m_size;
    }
    void pop_back() { --m_size; }
    // Room for the block list only: blocks themselves are taken as records arrive.
    void reserve(size_t n) { m_blocks.reserve((n + kPerBlock - 1) >> Shift); }
    void clear()
    {
        for (T* b : m_blocks)
            std::free(b);
        m_blocks.clear();
        m_size = 0;
    }

private:
    std::vector<T*> m_blocks;
    size_t m_size = 0;
};

// Strings appended one after another and addressed by a 32-bit offset. A string never straddles
// two allocations; one longer than a block gets an allocation of several blocks to itself.
class BytePool {
public:
    static constexpr int kShift = 21;
    static constexpr quint32 kBlock = quint32(1) << kShift;

    BytePool() = default;
    BytePool(const BytePool&) = delete;
    BytePool& operator=(const BytePool&) = delete;
    BytePool(BytePool&& other) noexcept { *this = std::move(other); }
    BytePool& operator=(BytePool&& other) noexcept
    {
        if (this != &other) {
            clear();
            m_blocks.swap(other.m_blocks);
            m_allocations.swap(other.m_allocations);
            m_end = std::exchange(other.m_end, 0);
            m_used = std::exchange(other.m_used, 0);
        }
        return *this;
    }
    ~BytePool() { clear(); }

    [[nodiscard]] QByteArrayView view(quint32 offset, quint32 length) const
    {
        if (length == 0)
            return {};
        return { m_blocks[offset >> kShift] + (offset & (kBlock - 1)), qsizetype(length) };
    }
    // Offset of the copy of text.
    quint32 add(QByteArrayView text)
    {
        const auto n = static_cast<size_t>(text.size());
        if (n == 0)
            return m_end;
        const size_t room = static_cast<size_t>(m_blocks.size()) * kBlock - m_end;
        if (n > room || (m_end & (kBlock - 1)) + n > kBlock)
            startAllocation(n);
        const quint32 offset = m_end;
        std::memcpy(m_blocks[offset >> kShift] + (offset & (kBlock - 1)), text.data(), n);
        m_end += static_cast<quint32>(n);
        m_used += n;
        return offset;
    }
    [[nodiscard]] size_t usedBytes() const { return m_used; }
    void reserve(size_t bytes) { m_blocks.reserve((bytes + kBlock - 1) >> kShift); }
    void clear()
    {
        for (char* a : m_allocations)
            std::free(a);
        m_allocations.clear();
        m_blocks.clear();
        m_end = 0;
        m_used = 0;
    }

private:
    void startAllocation(size_t bytes)
    {
        const size_t count = (bytes + kBlock - 1) / kBlock;
        // Offsets are 32-bit: 4 GiB of strings is the end.
        if (m_blocks.size() + count > (size_t(1) << (32 - kShift)))
            throw std::bad_alloc();
        char* a = blocks::allocate(count * kBlock);
        m_allocations.push_back(a);
        m_end = static_cast<quint32>(m_blocks.size() * kBlock);
        for (size_t i = 0; i < count; ++i)
            m_blocks.push_back(a + i * kBlock);
    }

    std::vector<char*> m_blocks; // one entry per block; a long string's allocation fills several
    std::vector<char*> m_allocations;
    quint32 m_end = 0; // offset of the next free byte
    size_t m_used = 0;
};
