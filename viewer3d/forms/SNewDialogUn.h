#pragma once
// The chooser of the "New" command: categories as a tree on the left, the
// creatable classes of the chosen category as large icons on the right.

#include "engine3d/model/SRTDRegistry.h"

#include <QDialog>

class QLabel;
class TSFlatCaption;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QFrame;

class TSNewDialog final : public QDialog {
public:
    // Where a list item keeps the index of its image (-1: none).
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    TSNewDialog();
    ~TSNewDialog() override;
    TSNewDialog(const TSNewDialog&) = delete;
    TSNewDialog& operator=(const TSNewDialog&) = delete;

    // Shows Tree's categories, selects InitialBranch's node (the first node when
    // none carries it) and runs modally. True with Chosen the selected leaf when
    // the user confirmed with an item selected; false with Chosen nullptr otherwise.
    static bool Execute(TSDataBranch* Tree, TSDataBranch* InitialBranch, TSDataBranch*& Chosen);

    void ShowTree(TSDataBranch* Tree);
    void SelectBranch(TSDataBranch* Branch);
    // The chosen leaf after an Ok with an item selected.
    TSDataBranch* ChosenBranch() const;

    QTreeWidget* TreeView1() const { return m_tree; }
    QListWidget* ListView1() const { return m_list; }
    QPushButton* OkBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }
    TSFlatCaption* Caption() const { return m_caption; }

    // The number of images of the icon list.
    static int ImageCount();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FillCategoryTree(TSDataBranch* Branch, QTreeWidgetItem* Node);
    void FillItemList(TSDataBranch* Branch);
    void TreeView1Change(QTreeWidgetItem* Node);
    void ListView1Change();
    void ListView1DblClick(QListWidgetItem* Item);
    void Panel1Resize();

    TSFlatCaption* m_caption = nullptr;
    QTreeWidget* m_tree = nullptr;
    QListWidget* m_list = nullptr;
    QFrame* m_panel = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
