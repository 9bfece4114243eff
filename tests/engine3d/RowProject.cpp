#include "RowProject.h"

constinit const TSClassInfo TRowProject::ClassInfo{"TRowProject", &TSProject::ClassInfo, &TSNewObject<TRowProject>};

std::int32_t TRowProject::WriteObjects(TSObjectsStream* S)
{
    Written.clear();
    const auto count = static_cast<std::int32_t>(Items.size());
    S->Write(&count, 4);
    std::int32_t n = 4;
    for (const auto& item : Items) {
        Written.push_back(S->WriteObject(item.get()));
        n += Written.back();
    }
    return n;
}

std::int32_t TRowProject::ReadObjects(TSObjectsStream* S)
{
    Items.clear();
    std::int32_t count = 0;
    S->Read(&count, 4);
    std::int32_t n = 4;
    for (std::int32_t i = 0; i < count; ++i) {
        TSObject* item = nullptr;
        n += S->ReadObject(item, nullptr);
        Items.emplace_back(item);
    }
    return n;
}

std::int32_t TRowProject::Link(TSObjectsStream* S)
{
    for (const auto& item : Items)
        if (item)
            item->Process(ocLink, reinterpret_cast<TSParam>(S));
    return static_cast<std::int32_t>(Items.size());
}
