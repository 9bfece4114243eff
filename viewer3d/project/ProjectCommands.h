#pragma once
// What the administrator asks of a project through its Process.

#include "engine3d/model/SGeneral.h"

#include <cstdint>

enum TSProjectCommand : std::int32_t {
    // Param: a TSCreateObjectRecord*. Makes an object of Class and files it
    // under Parent; 0 when made, -1 when the class is not one the project makes.
    pcCreateObject = 4096,
    // Param: the object. Non-zero when the user may delete it.
    pcCanDelete = 4097,
    // Param: the object. Opens its editor.
    pcOpenEditor = 4098,
    // Param: a TSObject** holding an object; replaced by its depository or nullptr.
    pcFindDepository = 4099,
};

struct TSCreateObjectRecord {
    TObject* Parent = nullptr;
    TSClass Class = nullptr;
    TSObject* Created = nullptr;
};
