#include "dialogs/FileParamsDialog.h"

#include <QHeaderView>
#include <QIcon>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>

#include "platform/errors/Exception.h"
#include "platform/files/File.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/files/ReplacingFile.h"
#include "platform/threads/SharedCounter.h"
#include "platform/resources/StringTable.h"
#include "VarnokModule.h"
#include "settings/HelpSystem.h"
#include "tags/Cp1251.h"
#include "tags/TagResources.h"

namespace {

constexpr unsigned kParameterLabel = 5051, kValueLabel = 5052, kDaysLabel = 5054, kSecondsLabel = 5055,
                   kLayerLabel = 5056;
constexpr unsigned kListBox = 5022, kEdit = 5023;

// The tree and the lists are placeholders here that the dialog replaces with its own
// widgets; the dictionary tree, list box 5022 and edit 5023 are never shown.
const plat::ControlTemplate kRows[] = {
    {plat::IDC_STATIC, plat::ControlKind::GroupBox, 4, 0, 364, 168, "File Information", plat::CS_NONE},
    {plat::IDC_STATIC, plat::ControlKind::Static, 8, 12, 116, 8, "Layer Name", plat::CS_NONE},
    {CFileParamsDialog::IDC_LAYER_TREE, plat::ControlKind::Static, 8, 24, 136, 140, nullptr, plat::CS_NONE},
    {CFileParamsDialog::IDC_TAG_NAME, plat::ControlKind::Static, 148, 12, 180, 8, "Tag Name", plat::CS_NONE},
    {CFileParamsDialog::IDC_PARAMS, plat::ControlKind::Static, 148, 24, 216, 140, nullptr, plat::CS_NONE},
    {plat::IDOK, plat::ControlKind::PushButton, 129, 172, 52, 12, "OK", plat::CS_NONE},
    {CFileParamsDialog::IDC_HELP, plat::ControlKind::PushButton, 185, 172, 56, 12, "Help", plat::CS_NONE},
    {CFileParamsDialog::IDC_DICTIONARY, plat::ControlKind::Static, 128, 12, 12, 8, nullptr, plat::CS_HIDDEN},
    {kListBox, plat::ControlKind::Static, 0, 0, 0, 0, nullptr, plat::CS_HIDDEN},
    {kEdit, plat::ControlKind::Edit, 0, 0, 0, 0, nullptr, plat::CS_HIDDEN},
};
const plat::DialogTemplate kTemplate = {CFileParamsDialog::IDD, "View Parameters", "MS Sans Serif", 8, 372, 189,
                                        kRows, std::size(kRows)};

const plat::StringEntry kStrings[] = {
    {kParameterLabel, "Parameter"}, {kValueLabel, "Value"}, {kDaysLabel, "days"},
    {kSecondsLabel, "seconds"},     {kLayerLabel, "Layer"},
};
const plat::StringTableRegistration kRegistration(kVarnokModule, kStrings);

QString Text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// Icon 538: a layer, three stacked sheets.
QIcon LayerIcon()
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setPen(QColor(0, 0, 96));
    for (int i = 2; i >= 0; --i) {
        g.setBrush(i == 0 ? QColor(96, 160, 224) : QColor(160, 200, 240));
        g.drawPolygon(QPolygon({QPoint(1 + 2 * i, 9 - 3 * i), QPoint(8 + 2 * i, 5 - 3 * i), QPoint(14, 8 - 3 * i + 3),
                                QPoint(7 + 2 * i - 2, 13 - 3 * i)}));
    }
    QIcon icon(p);
    icon.addPixmap(p, QIcon::Selected);
    return icon;
}

// Icons 540 and 539: a tag label; the selected one open, in a darker yellow.
QIcon TagIcon(bool selected)
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QColor(96, 64, 0));
    g.setBrush(selected ? QColor(240, 176, 32) : QColor(255, 232, 128));
    g.drawPolygon(QPolygon({QPoint(1, 5), QPoint(10, 5), QPoint(14, 8), QPoint(10, 11), QPoint(1, 11)}));
    g.setBrush(Qt::white);
    g.drawEllipse(QPoint(10, 8), 1, 1);
    if (selected) {
        g.setPen(QPen(QColor(160, 0, 0), 1.5));
        g.drawLine(QPoint(2, 3), QPoint(12, 3));
        g.drawLine(QPoint(2, 13), QPoint(12, 13));
    }
    QIcon icon(p);
    icon.addPixmap(p, QIcon::Selected);  // shown as drawn, not tinted, when selected
    return icon;
}

int ItemTag(const QTreeWidgetItem* item)
{
    return item ? item->data(0, Qt::UserRole).toInt() : 0;
}

}  // namespace

CFileParamsDialog::CFileParamsDialog(const plat::WindowHandle& parent) : m_parent(parent) {}

CFileParamsDialog::~CFileParamsDialog()
{
    Destroy();
}

std::vector<QIcon> CFileParamsDialog::LayerTreeImages()
{
    const QIcon layer = LayerIcon();
    return {layer, layer, TagIcon(false), TagIcon(true)};
}

QTreeWidget* CFileParamsDialog::LayerTree() const
{
    return m_window ? m_window->ControlAs<QTreeWidget>(IDC_LAYER_TREE) : nullptr;
}

QTreeWidget* CFileParamsDialog::ParamList() const
{
    return m_window ? m_window->ControlAs<QTreeWidget>(IDC_PARAMS) : nullptr;
}

int CFileParamsDialog::DoModal()
{
    Create(m_parent.Widget());
    m_window->exec();
    Destroy();
    return plat::IDOK;
}

void CFileParamsDialog::Create(QWidget* owner)
{
    Destroy();
    m_window = new plat::Dialog(kTemplate, owner);
    m_window->SetOkHandler([this] { m_window->done(QDialog::Accepted); });
    m_window->SetCancelHandler([this] { m_window->done(QDialog::Rejected); });
    m_window->OnClicked(plat::IDOK, [this] { m_window->done(QDialog::Accepted); });
    m_window->OnClicked(IDC_HELP, [this] { CallHelpSystem(m_window, nullptr); });
    OnInitDialog();
}

void CFileParamsDialog::Destroy()
{
    if (m_window) {
        if (QTreeWidget* tree = LayerTree())
            QObject::disconnect(tree, nullptr, nullptr, nullptr);
        m_window->DestroyWindow();
        delete m_window.data();
    }
    m_tagItems.clear();
}

std::string CFileParamsDialog::WriteAndReadDictionary(const std::string& folder, const std::string& bytes,
                                                      std::string& path)
{
    path.clear();
    if (folder.empty())
        return bytes;
    const std::string target = folder + "/tags.tfd";
    try {
        plat::ReplacingFile out(target, plat::ReplacingFile::Regenerable);
        out.Out().Write(bytes.data(), unsigned(bytes.size()));
        out.Commit();
        plat::File in;
        if (!in.Open(target.c_str(), plat::File::modeRead))
            return bytes;
        const std::int64_t length = in.GetLength();
        if (length < 0 || length > std::int64_t(1) << 24)
            return bytes;
        std::string back(size_t(length), '\0');
        if (in.Read(back.data(), unsigned(back.size())) != back.size())
            return bytes;
        path = target;
        return back;
    } catch (plat::Exception* e) {
        e->Delete();
        return bytes;
    }
}

void CFileParamsDialog::OnInitDialog()
{
    // The resources, the dictionary written out and read back.
    const std::string& descriptions = FieldDescriptionsResource();
    const bool russian = QLocale().language() == QLocale::Russian;
    const std::string dictionary =
        WriteAndReadDictionary(plat::RuntimeFolder(), TagDictionaryResource(russian), m_dictionaryPath);

    // The layer tree with its images, the Parameter/Value list with its columns.
    auto* tree = new QTreeWidget;
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_window->ReplaceControl(IDC_LAYER_TREE, tree);
    m_images = LayerTreeImages();
    auto* list = new QTreeWidget;
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setColumnCount(2);
    list->setHeaderLabels({Text(plat::LoadString(kParameterLabel, kVarnokModule)),
                           Text(plat::LoadString(kValueLabel, kVarnokModule))});
    list->header()->setStretchLastSection(false);
    list->setColumnWidth(0, 200);
    list->setColumnWidth(1, 100);
    m_window->ReplaceControl(IDC_PARAMS, list);

    m_fields.Index(descriptions);
    m_dictionary.DeleteAllItems();
    m_dictionary.Load(dictionary);
    m_index.Build(m_dictionary);
    FillLayerTree();
    QObject::connect(tree, &QTreeWidget::currentItemChanged, m_window,
                     [this](QTreeWidgetItem* now, QTreeWidgetItem* before) {
                         if (before)
                             before->setIcon(0, m_images[before->parent() ? 2 : 0]);
                         if (now)
                             now->setIcon(0, m_images[now->parent() ? 3 : 1]);
                         OnSelchangedLayerTree();
                     });
}

void CFileParamsDialog::FillLayerTree()
{
    QTreeWidget* tree = LayerTree();
    auto* root = new QTreeWidgetItem(tree);
    root->setText(0, Text(plat::LoadString(kLayerLabel, kVarnokModule) + " 1"));
    root->setIcon(0, m_images[0]);
    m_tags = ListLayerTags(FileTagSource(m_filePath));
    for (int tag : m_tags) {
        auto* item = new QTreeWidgetItem(root);
        item->setText(0, Text(Cp1251ToUtf8(TagListLabel(m_index.Find(tag), tag))));
        item->setData(0, Qt::UserRole, tag);
        item->setIcon(0, m_images[2]);
        m_tagItems.push_back(item);
    }
}

void CFileParamsDialog::OnSelchangedLayerTree()
{
    QTreeWidget* list = ParamList();
    list->clear();
    m_window->SetControlText(IDC_TAG_NAME, "");
    QTreeWidgetItem* selected = LayerTree()->currentItem();
    if (selected == nullptr || selected->parent() == nullptr)
        return;
    TagItem node = m_index.Find(ItemTag(selected));
    if (node == nullptr)
        return;
    m_window->SetControlText(IDC_TAG_NAME, Cp1251ToUtf8(CTagTree::GetItemString(node)));
    const std::vector<unsigned char> tag = FileTagSource(m_filePath).readTag(ItemTag(selected));
    if (tag.empty())
        return;
    TimeWords words;
    words.days = plat::LoadString(kDaysLabel, kVarnokModule);
    words.seconds = plat::LoadString(kSecondsLabel, kVarnokModule);
    for (const ParamRow& row : BuildParamRows(node, tag.data(), tag.size(), words)) {
        auto* item = new QTreeWidgetItem(list);
        item->setText(0, Text(row.parameter));
        item->setText(1, Text(row.value));
    }
}
