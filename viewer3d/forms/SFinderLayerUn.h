#pragma once
// The modal picker of a layer of a raster layer file.

#include <QDialog>

#include <cstdint>
#include <string>

class QPushButton;
class QTreeWidget;
class TSDataBranch;
class TSFlatCaption;

class TSLayerFinderForm final : public QDialog {
public:
    TSLayerFinderForm();
    ~TSLayerFinderForm() override;

    // True when the user confirmed a layer; LayerIndex then holds its index in
    // the file. A missing file or one no reader takes answers false unseen.
    static bool Execute(const std::string& FileName, std::int32_t& LayerIndex);
    bool PickLayer(const std::string& FileName, std::int32_t& LayerIndex);

    QTreeWidget* Tree() const { return m_tree; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

private:
    TSFlatCaption* m_caption = nullptr;
    QTreeWidget* m_tree = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    TSDataBranch* m_root = nullptr;
};
