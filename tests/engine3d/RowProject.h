#pragma once
// A project that writes and reads a row of objects, for the scene tests and the
// project file fuzz target (which adds a header and a tree behind the row).

#include "engine3d/files/SProject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TRowProject : public TSProject {
    S_CLASS(TRowProject)
public:
    std::vector<std::unique_ptr<TSObject>> Items;
    std::vector<std::int32_t> Written;  // record sizes of the last save

    std::int32_t WriteObjects(TSObjectsStream* S) override;
    std::int32_t ReadObjects(TSObjectsStream* S) override;
    std::int32_t Link(TSObjectsStream* S) override;

    template <class T>
    T* Item(std::size_t I) const
    {
        return dynamic_cast<T*>(Items.at(I).get());
    }
};
