#include "viewer3d/forms/SFinderReflectionUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/PickerParts.h"
#include "viewer3d/forms/SFlatCaption.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"

#include <QListWidget>

bool ReflectionChoices(TSClass BaseClass, std::vector<std::pair<std::string, TSClass>>& Lines)
{
    Lines.clear();
    Lines.emplace_back("NO REFLECTION", nullptr);
    std::lock_guard guard(TreeLock());
    TSDataBranch* root = FindRegistryRoot(0);
    TSDataBranch* classes = root ? root->FindChildByName("SInterfaces", false) : nullptr;
    if (classes == nullptr)
        return true;
    for (std::int32_t i = 0; i < classes->Count(); ++i) {
        auto* node = dynamic_cast<TSDataBranch*>(classes->GetChild(i));
        TSClass cls = node ? node->Data().AsClass() : nullptr;
        if (cls == nullptr)
            return false;
        if (BaseClass != nullptr && !cls->InheritsFrom(BaseClass))
            continue;
        std::string caption;
        GetInterfaceCaption(cls, caption);
        Lines.emplace_back(caption, cls);
    }
    return true;
}

TSFinderReflectionForm::TSFinderReflectionForm()
{
    resize(206, 260);
    m_list = new QListWidget(this);
    m_list->setObjectName("ListBox1");
    const TSPickerParts parts = BuildPicker(this, "Select Reflection Law", m_list);
    m_caption = parts.Caption;
    m_ok = parts.Ok;
    m_cancel = parts.Cancel;
    ConfirmOnDoubleClick(this, m_list);
    CentreOnScreen(this);
}

bool TSFinderReflectionForm::PickClass(TSClass BaseClass, TSClass& Class)
{
    std::vector<std::pair<std::string, TSClass>> lines;
    const bool complete = ReflectionChoices(BaseClass, lines);
    m_list->clear();
    m_classes.clear();
    if (!complete)
        return false;
    std::vector<std::string> names;
    int preselect = 0;
    for (const auto& [caption, cls] : lines) {
        if (cls != nullptr && cls == Class)
            preselect = int(m_classes.size());
        names.push_back(caption);
        m_classes.push_back(cls);
    }
    const std::optional<int> row = RunListPicker(this, m_list, names, preselect);
    if (!row)
        return false;
    TSClass chosen = *row >= 0 ? m_classes[std::size_t(*row)] : nullptr;
    if (chosen == Class)
        return false;
    Class = chosen;
    return true;
}

bool TSFinderReflectionForm::Execute(TSClass BaseClass, TSClass& Class)
{
    TSFinderReflectionForm form;
    return form.PickClass(BaseClass, Class);
}
