// A stream source for the inflater that gives its bytes out `piece` at a time.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "io/Inflate.h"

namespace pngtest {

class CPieces : public ove::inflate_detail::CInflateSource {
public:
    CPieces(const std::vector<std::uint8_t>& data, std::size_t piece) : m_data(data), m_piece(piece) {}
    std::size_t Pull(std::uint8_t* to, std::size_t room) override {
        const std::size_t n = std::min({room, m_piece, m_data.size() - m_pos});
        std::memcpy(to, m_data.data() + m_pos, n);
        m_pos += n;
        return n;
    }

private:
    const std::vector<std::uint8_t>& m_data;
    std::size_t m_piece;
    std::size_t m_pos = 0;
};

}  // namespace pngtest
