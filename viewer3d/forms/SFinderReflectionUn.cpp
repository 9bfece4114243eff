#include "viewer3d/forms/SFinderReflectionUn.h"

#include "viewer3d/forms/FormParts.h"
#include "viewer3d/forms/SFlatCaption.h"

#include "engine3d/model/SInterface.h"
#include "engine3d/model/SRTDRegistry.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

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
    setWindowTitle("Select Reflection Law");
    resize(206, 260);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_caption = new TSFlatCaption(this);
    m_caption->SetText("Select Reflection Law");
    m_caption->ShowButtons({fccClose});
    m_caption->setFixedHeight(kCaptionHeight);
    column->addWidget(m_caption);
    m_list = new QListWidget(this);
    m_list->setObjectName("ListBox1");
    column->addWidget(m_list, 1);
    auto* panel = new QHBoxLayout();
    panel->setContentsMargins(4, 4, 8, 4);
    panel->addStretch(1);
    m_ok = new QPushButton("Ok", this);
    m_cancel = new QPushButton("Cancel", this);
    m_ok->setDefault(true);
    panel->addWidget(m_ok);
    panel->addWidget(m_cancel);
    column->addLayout(panel);
    connect(m_ok, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { done(2); });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { done(1); });
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
    int preselect = 0;
    for (const auto& [caption, cls] : lines) {
        if (cls != nullptr && cls == Class)
            preselect = int(m_classes.size());
        m_list->addItem(QString::fromStdString(caption));
        m_classes.push_back(cls);
    }
    m_list->setCurrentRow(preselect);
    if (exec() != 1)
        return false;
    const int row = m_list->currentRow();
    TSClass chosen = row >= 0 && row < int(m_classes.size()) ? m_classes[std::size_t(row)] : nullptr;
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
