#pragma once
// "View Parameters" (template 504): for one raster layer file, the tree of its tags named
// from the tag dictionary and, for the selected tag, its fields' descriptions and values.
// The dictionary ("tags.tfd", resource 543 in the user's language) is written to the
// user's runtime folder on each opening and read back into a tag tree without a window;
// the field descriptions (resource 537) are checked and indexed.

#include <QPointer>
#include <string>
#include <vector>

#include "platform/dialogs/Dialog.h"
#include "platform/windows/WindowHandle.h"
#include "dialogs/TagTreeCtrl.h"
#include "tags/FieldDescriptions.h"
#include "tags/TagParams.h"

class QIcon;
class QTreeWidget;
class QTreeWidgetItem;

class CFileParamsDialog final {
public:
    enum : unsigned {
        IDD = 504,
        IDC_LAYER_TREE = 5016,
        IDC_TAG_NAME = 5019,
        IDC_DICTIONARY = 5020,
        IDC_PARAMS = 5021,
        IDC_HELP = 5092
    };

    explicit CFileParamsDialog(const plat::WindowHandle& parent = {});
    ~CFileParamsDialog();
    // Owns its window: neither copied nor moved.
    CFileParamsDialog(const CFileParamsDialog&) = delete;
    CFileParamsDialog& operator=(const CFileParamsDialog&) = delete;

    // The file to show; the caller sets it before DoModal.
    std::string m_filePath;

    // The window and its contents (OnInitDialog), modally; OK closes. IDOK.
    int DoModal();
    // The window and its contents without the modal loop; Destroy ends it.
    void Create(QWidget* owner);
    void Destroy();

    plat::Dialog* Window() const { return m_window; }
    QTreeWidget* LayerTree() const;
    QTreeWidget* ParamList() const;
    const CTagTreeCtrl& Dictionary() const { return m_dictionary; }
    const CFieldDescriptions& FieldDescriptions() const { return m_fields; }
    // Where "tags.tfd" was written (empty when it could not be).
    const std::string& DictionaryPath() const { return m_dictionaryPath; }
    // The tags listed under the layer, in order.
    const std::vector<int>& ListedTags() const { return m_tags; }

    // Selection changed in the layer tree: the selected tag's rows.
    void OnSelchangedLayerTree();

    // Writes bytes to folder/tags.tfd (replacing it) and reads the file back; the bytes
    // themselves when the folder is empty or either step fails. path: the file, or empty.
    static std::string WriteAndReadDictionary(const std::string& folder, const std::string& bytes,
                                              std::string& path);
    // The layer tree's images: 0 and 1 icon 538, 2 icon 540, 3 icon 539.
    static std::vector<QIcon> LayerTreeImages();

private:
    void OnInitDialog();
    void FillLayerTree();

    plat::WindowHandle m_parent;
    QPointer<plat::Dialog> m_window;
    CTagTreeCtrl m_dictionary;
    CTagDictionaryIndex m_index;
    CFieldDescriptions m_fields;
    std::string m_dictionaryPath;
    std::vector<int> m_tags;
    std::vector<QTreeWidgetItem*> m_tagItems;
    std::vector<QIcon> m_images;
};

inline constexpr int kLayerIconId = 538, kTagSelectedIconId = 539, kTagIconId = 540;
