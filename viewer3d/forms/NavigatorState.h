#pragma once
// The navigator's state record in a project file: 32 bytes after the container's own
// data, little-endian int32 values.

#include "engine3d/model/SGeneral.h"

#include <cstdint>

struct TSNavigatorState {
    enum Flag : std::int32_t {
        Pinned = 1,  // the caption bar is pinned
        More = 2,    // the report is shown
        ShowMaster = 4,
        Fixer = 8,
    };
    std::uint32_t Master = 0;  // frame identities as the object stream writes them; 0 none
    std::uint32_t Slave = 0;
    std::int32_t Convention = 1;    // 1 to 3
    std::int32_t StepExponent = 0;  // 0 to 6
    std::int32_t Flags = 0;
    std::int32_t Order = 0;  // stacking order when visible, else 0
    std::int32_t Left = 0;
    std::int32_t Top = 0;

    static constexpr std::int32_t Size = 32;

    // 32.
    std::int32_t Write(TSObjectsStream* Stream) const;
    // A convention outside 1 to 3 or a step exponent outside 0 to 6 raises EStreamError
    // "<Owner's caption> ... Can't load : Invalid Value"; nothing is taken then.
    static TSNavigatorState Read(TSObjectsStream* Stream, const TObject* Owner);
};
