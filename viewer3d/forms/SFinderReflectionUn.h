#pragma once
// The modal picker of a reflection-law class.

#include "engine3d/model/SClassLib.h"

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

class QListWidget;
class QPushButton;
class TSFlatCaption;

// The lines of the picker: "NO REFLECTION" (no class) first, then the classes
// of the interface registry that inherit from BaseClass, by caption. False when
// the registry holds an entry without a class: the picker then ends at once.
bool ReflectionChoices(TSClass BaseClass, std::vector<std::pair<std::string, TSClass>>& Lines);

class TSFinderReflectionForm final : public QDialog {
public:
    TSFinderReflectionForm();

    // True when the user confirmed a choice other than Class, which then holds
    // it (nil for "NO REFLECTION").
    static bool Execute(TSClass BaseClass, TSClass& Class);
    bool PickClass(TSClass BaseClass, TSClass& Class);

    QListWidget* List() const { return m_list; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

private:
    TSFlatCaption* m_caption = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::vector<TSClass> m_classes;
};
