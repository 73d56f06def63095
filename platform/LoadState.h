#pragma once

#include <cstdint>

namespace tovari {

// States of the two folder loaders; 5 is deliberately unused.
enum class LoadState : std::uint8_t {
    NOTHING = 0,
    NOW_LOADING_PC = 1,
    LOAD_COMP_PC = 2,
    DO_STOP_PC = 3,
    STOPED_PC = 4,
    NOW_LOADING_ALBUM = 6,
    LOAD_COMP_ALBUM = 7,
    DO_STOP_ALBUM = 8,
    STOPED_ALBUM = 9,
};

}  // namespace tovari
