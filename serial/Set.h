// A set of enumeration values held in a fixed number of bits, element n at bit n.
#pragma once

#include <initializer_list>

template <typename E, typename Bits>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> elements) {
        for (E e : elements) {
            m_bits = static_cast<Bits>(m_bits | bit(e));
        }
    }
    static constexpr TSet FromBits(Bits bits) {
        TSet s;
        s.m_bits = bits;
        return s;
    }
    constexpr Bits ToBits() const { return m_bits; }
    constexpr bool Contains(E e) const { return (m_bits & bit(e)) != 0; }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr void Include(E e) { m_bits = static_cast<Bits>(m_bits | bit(e)); }
    constexpr void Exclude(E e) { m_bits = static_cast<Bits>(m_bits & ~bit(e)); }
    friend constexpr bool operator==(TSet a, TSet b) { return a.m_bits == b.m_bits; }
    friend constexpr TSet operator|(TSet a, TSet b) {
        return FromBits(static_cast<Bits>(a.m_bits | b.m_bits));
    }
    friend constexpr TSet operator&(TSet a, TSet b) {
        return FromBits(static_cast<Bits>(a.m_bits & b.m_bits));
    }

private:
    static constexpr Bits bit(E e) { return static_cast<Bits>(Bits{1} << static_cast<int>(e)); }
    Bits m_bits = 0;
};
