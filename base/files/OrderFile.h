#pragma once
// A file that reads whole items, optionally reversing each item's byte order
// (big-endian products on a little-endian machine).

#include "platform/files/File.h"

class COrderFile : public plat::File {
public:
    // Item byte order that Read reverses.
    static constexpr int kReverseOrder = 2;

    COrderFile() = default;
    // Opens as plat::File does; throws plat::FileException* on failure.
    COrderFile(const char* name, unsigned flags);
    ~COrderFile() override = default;

    unsigned Read(void* buf, unsigned n) override;
    // Reads size x count bytes; returns the number of whole items read.
    unsigned Read(void* buf, unsigned size, unsigned count);
    // Reads count items; when fewer arrive, returns that number and leaves buf
    // untouched. With order 2, items of 2, 4 or 8 bytes are stored byte-reversed.
    unsigned Read(void* buf, unsigned size, unsigned count, int order);

private:
    // size x count as a byte count; throws when it does not fit one read.
    unsigned ItemBytes(unsigned size, unsigned count) const;
};
