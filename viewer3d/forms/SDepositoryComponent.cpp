#include "viewer3d/forms/SDepositoryComponent.h"

#include "viewer3d/project/HcProject3D.h"
#include "viewer3d/forms/SDrawingsFinderUn.h"

#include "engine3d/files/SProject.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr char kAllDrawings[] = "All Drawings";
constexpr char kNoNamedRecord[] = "No Named Record";

// Glyphs drawn in code: 0 add, 1 delete, 2 up, 3 down.
QIcon Glyph(int Kind)
{
    QPixmap image(16, 16);
    image.fill(Qt::transparent);
    QPainter p(&image);
    switch (Kind) {
    case 0:
        p.fillRect(7, 3, 2, 10, QColor(0x00, 0x80, 0x00));
        p.fillRect(3, 7, 10, 2, QColor(0x00, 0x80, 0x00));
        break;
    case 1:
        p.setPen(QPen(QColor(0x80, 0x00, 0x00), 2));
        p.drawLine(4, 4, 12, 12);
        p.drawLine(12, 4, 4, 12);
        break;
    default: {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const QPolygon up({QPoint(8, 4), QPoint(13, 11), QPoint(3, 11)});
        const QPolygon down({QPoint(8, 12), QPoint(13, 5), QPoint(3, 5)});
        p.drawPolygon(Kind == 2 ? up : down);
        break;
    }
    }
    return QIcon(image);
}

// Sets a flag for a scope.
struct Guard {
    bool& Flag;
    bool Was;
    explicit Guard(bool& F) : Flag(F), Was(F) { Flag = true; }
    ~Guard() { Flag = Was; }
};

}  // namespace

TSDepositoryPlaces LayoutControls(const TSDepositoryMetrics& M, int Width, int Height, int BoxHeight,
                                  int LabelHeight, int LabelWidth)
{
    TSDepositoryPlaces p;
    const int bw = M.BtnWidth, bh = M.BtnHeight;
    p.Bevel = QRect(M.BevelPos, 0, 2, Height);
    p.AddDrawing = QRect(1, 1, bw, bh);
    p.DeleteDrawing = QRect(1 + bw + M.BtnXInterval, 1, bw, bh);
    p.NextDrawing = QRect(M.BevelPos - M.BevelInterval - bw, 1, bw, bh);
    p.PrevDrawing = QRect(p.NextDrawing.x() - M.BtnXInterval - bw, 1, bw, bh);
    p.AddRecord = QRect(M.BevelPos + 2 + M.BevelInterval, 1, bw, bh);
    p.DeleteRecord = QRect(p.AddRecord.x() + bw + M.BtnXInterval, 1, bw, bh);
    p.NextRecord = QRect(Width - 1 - bw, 1, bw, bh);
    p.PrevRecord = QRect(p.NextRecord.x() - M.BtnXInterval - bw, 1, bw, bh);
    const int boxWidth = M.BevelPos - M.BevelInterval - M.BoxPos;
    p.SpecialBox = QRect(M.BoxPos, Height - 1 - BoxHeight, boxWidth, BoxHeight);
    p.OrdinaryBox = QRect(M.BoxPos, p.SpecialBox.y() - M.BoxInterval - BoxHeight, boxWidth, BoxHeight);
    const int listTop = bh + 1 + M.BtnYInterval;
    p.DrawingList = QRect(1, listTop, M.BevelPos - 1 - M.BevelInterval, p.OrdinaryBox.y() - M.BoxInterval - 1 - bh -
                                                                          M.BtnYInterval);
    p.RecordList = QRect(p.AddRecord.x(), listTop, Width - 1 - p.AddRecord.x(), Height - 1 - listTop);
    p.OrdinaryLabel = QRect(M.LabelPos, p.OrdinaryBox.y() + (BoxHeight - LabelHeight) / 2, LabelWidth, LabelHeight);
    p.SpecialLabel = QRect(M.LabelPos, p.SpecialBox.y() + (BoxHeight - LabelHeight) / 2, LabelWidth, LabelHeight);
    return p;
}

TSDepositoryButtons DepositoryButtons(bool HasDepository, bool Locked, std::int32_t Entries, std::int32_t Records,
                                      std::int32_t CurrentDrawing, std::int32_t CurrentRecord)
{
    TSDepositoryButtons b;
    b.AddDrawing = HasDepository && !Locked;
    b.AddRecord = HasDepository && !Locked;
    b.PrevDrawing = HasDepository && CurrentDrawing >= 0;
    b.PrevRecord = HasDepository && CurrentRecord > 0;
    if (HasDepository) {
        b.DeleteDrawing = Entries >= 1 && CurrentDrawing >= 0 && !Locked;
        b.DeleteRecord = Records > 0 && !Locked;
        b.NextDrawing = CurrentDrawing < Entries - 1;
        b.NextRecord = CurrentRecord < Records - 1;
    }
    return b;
}

TSDepositoryComponent::TSDepositoryComponent(QWidget* Parent) : QWidget(Parent)
{
    setObjectName("SDepositoryComponent");
    m_drawingList = new QListWidget(this);
    m_recordList = new QListWidget(this);
    m_recordList->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_ordinaryBox = new QComboBox(this);
    m_specialBox = new QComboBox(this);
    m_ordinaryLabel = new QLabel("Ordinary", this);
    m_specialLabel = new QLabel("Special", this);
    m_bevel = new QFrame(this);
    m_bevel->setFrameShape(QFrame::VLine);
    m_bevel->setFrameShadow(QFrame::Sunken);
    static constexpr int kGlyphs[8] = {0, 1, 2, 3, 0, 1, 2, 3};
    for (int i = 0; i < 8; ++i) {
        m_buttons[i] = new QToolButton(this);
        m_buttons[i]->setAutoRaise(true);
        m_buttons[i]->setIcon(Glyph(kGlyphs[i]));
    }
    connect(m_drawingList, &QListWidget::itemClicked, this, [this](QListWidgetItem* Item) {
        if (!m_updating)
            SetCurrentDrawing(m_drawingList->row(Item) - 1);
    });
    connect(m_recordList, &QListWidget::currentRowChanged, this, [this](int Row) {
        if (!m_updating && Row >= 0)
            SetCurrentRecord(Row);
    });
    connect(m_recordList, &QListWidget::itemChanged, this, [this](QListWidgetItem* Item) { RecordEdited(Item); });
    connect(m_ordinaryBox, &QComboBox::activated, this, [this](int Index) { BoxChanged(false, Index); });
    connect(m_specialBox, &QComboBox::activated, this, [this](int Index) { BoxChanged(true, Index); });
    connect(AddDrawingBtn(), &QToolButton::clicked, this, [this] { AddDrawingBtnClick(); });
    connect(DeleteDrawingBtn(), &QToolButton::clicked, this, [this] { DeleteDrawingBtnClick(); });
    connect(PrevDrawingBtn(), &QToolButton::clicked, this, [this] {
        if (m_depository)
            SetCurrentDrawing(m_currentDrawing - 1);
    });
    connect(NextDrawingBtn(), &QToolButton::clicked, this, [this] {
        if (m_depository)
            SetCurrentDrawing(m_currentDrawing + 1);
    });
    connect(AddRecordBtn(), &QToolButton::clicked, this, [this] { AddRecordBtnClick(); });
    connect(DeleteRecordBtn(), &QToolButton::clicked, this, [this] { DeleteRecordBtnClick(); });
    connect(PrevRecordBtn(), &QToolButton::clicked, this, [this] {
        if (m_depository)
            SetCurrentRecord(m_currentRecord - 1);
    });
    connect(NextRecordBtn(), &QToolButton::clicked, this, [this] {
        if (m_depository)
            SetCurrentRecord(m_currentRecord + 1);
    });
    resize(256, 128);
    LayoutChildren();
    RefreshAll();
}

TSDepositoryComponent::~TSDepositoryComponent() = default;

void TSDepositoryComponent::SetDepository(TSDepositoryCustomConstruction3D* Depository)
{
    if (Depository == m_depository)
        return;
    m_depository = Depository;
    RefreshAll();
}

void TSDepositoryComponent::SetLocked(bool On)
{
    if (On == m_locked)
        return;
    m_locked = On;
    UpdateButtons();
}

void TSDepositoryComponent::SetMetrics(const TSDepositoryMetrics& Metrics)
{
    if (Metrics == m_metrics)
        return;
    m_metrics = Metrics;
    LayoutChildren();
}

void TSDepositoryComponent::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    LayoutChildren();
}

void TSDepositoryComponent::LayoutChildren()
{
    const int boxHeight = m_ordinaryBox->sizeHint().height();
    const QSize label = m_ordinaryLabel->sizeHint();
    const TSDepositoryPlaces p = LayoutControls(m_metrics, width(), height(), boxHeight, label.height(), label.width());
    m_bevel->setGeometry(p.Bevel);
    const QRect* buttons[8] = {&p.AddDrawing, &p.DeleteDrawing, &p.PrevDrawing, &p.NextDrawing,
                               &p.AddRecord,  &p.DeleteRecord,  &p.PrevRecord,  &p.NextRecord};
    for (int i = 0; i < 8; ++i)
        m_buttons[i]->setGeometry(*buttons[i]);
    m_ordinaryBox->setGeometry(p.OrdinaryBox);
    m_specialBox->setGeometry(p.SpecialBox);
    m_drawingList->setGeometry(p.DrawingList);
    m_recordList->setGeometry(p.RecordList);
    m_ordinaryLabel->setGeometry(p.OrdinaryLabel);
    m_specialLabel->setGeometry(p.SpecialLabel.x(), p.SpecialLabel.y(), m_specialLabel->sizeHint().width(),
                                p.SpecialLabel.height());
}

void TSDepositoryComponent::FillBoxes()
{
    for (QComboBox* box : {m_ordinaryBox, m_specialBox}) {
        box->clear();
        if (m_depository)
            for (std::int32_t i = 0; i < m_depository->RecordCount(); ++i)
                box->addItem(QString::fromStdString(m_depository->GetRecordName(i)));
    }
}

void TSDepositoryComponent::FillLists()
{
    Guard guard(m_updating);
    m_recordList->clear();
    if (m_depository)
        for (std::int32_t i = 0; i < m_depository->RecordCount(); ++i) {
            auto* item = new QListWidgetItem(QString::fromStdString(m_depository->GetRecordName(i)), m_recordList);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
    FillBoxes();
    m_drawingList->clear();
    m_drawingList->addItem(kAllDrawings);
    if (m_depository)
        for (std::int32_t i = 0; i < m_depository->EntryCount(); ++i) {
            TSCustomDrawSystem3D* ds = m_depository->GetDrawSystem(i);
            m_drawingList->addItem(ds ? QString::fromStdString(ds->Name()) : QString());
        }
}

void TSDepositoryComponent::ShowCurrent()
{
    if (!m_depository)
        return;
    Guard guard(m_updating);
    m_ordinaryBox->setCurrentIndex(m_depository->GetDrawSystemRecord(m_currentDrawing, false));
    m_specialBox->setCurrentIndex(m_depository->GetDrawSystemRecord(m_currentDrawing, true));
    m_drawingList->setCurrentRow(m_currentDrawing + 1);
    if (m_recordList->count() > m_currentRecord)
        m_recordList->setCurrentRow(m_currentRecord);
}

void TSDepositoryComponent::RefreshAll()
{
    FillLists();
    if (m_depository) {
        if (m_currentDrawing >= m_depository->EntryCount())
            m_currentDrawing = -1;
        if (m_currentRecord >= m_depository->RecordCount())
            m_currentRecord = 0;
    }
    ShowCurrent();
    UpdateButtons();
    if (m_depository) {
        Fire(OnCurrentDrawingChange);
        Fire(OnCurrentRecordChange);
    }
}

void TSDepositoryComponent::SetCurrentDrawing(std::int32_t Index)
{
    if (!m_depository)
        return;
    Index = std::clamp(Index, -1, m_depository->EntryCount() - 1);
    if (Index != m_currentDrawing) {
        {
            Guard guard(m_updating);
            m_currentDrawing = Index;
            m_drawingList->setCurrentRow(Index + 1);
            ShowCurrent();
        }
        Fire(OnCurrentDrawingChange);
    }
    UpdateButtons();
}

void TSDepositoryComponent::SetCurrentRecord(std::int32_t Index)
{
    if (!m_depository)
        return;
    if (Index > m_depository->RecordCount() - 1)
        Index = m_depository->RecordCount() - 1;
    if (Index < 0)
        Index = 0;
    if (Index != m_currentRecord) {
        {
            Guard guard(m_updating);
            m_currentRecord = Index;
            if (Index < m_recordList->count())
                m_recordList->setCurrentRow(Index);
        }
        Fire(OnCurrentRecordChange);
    }
    UpdateButtons();
}

void TSDepositoryComponent::BoxChanged(bool Special, int Index)
{
    if (m_updating || m_locked || !m_depository)
        return;
    if (Index != m_depository->GetDrawSystemRecord(m_currentDrawing, Special)) {
        m_depository->SetDrawSystemRecord(m_currentDrawing, Special, Index);
        DoChange();
    }
}

void TSDepositoryComponent::RecordEdited(QListWidgetItem* Item)
{
    if (m_updating)
        return;
    if (m_locked || !m_depository) {
        // Refused: the list shows the stored name again.
        Guard guard(m_updating);
        Item->setText(QString::fromStdString(m_depository ? m_depository->GetRecordName(m_recordList->row(Item)) : ""));
        return;
    }
    const std::int32_t row = m_recordList->row(Item);
    m_depository->SetRecordName(row, Item->text().toStdString());
    {
        Guard guard(m_updating);
        FillBoxes();
        m_ordinaryBox->setCurrentIndex(m_depository->GetDrawSystemRecord(m_currentDrawing, false));
        m_specialBox->setCurrentIndex(m_depository->GetDrawSystemRecord(m_currentDrawing, true));
    }
    DoChange();
}

void TSDepositoryComponent::AddDrawingBtnClick()
{
    if (!m_depository || m_locked) {
        UpdateButtons();
        return;
    }
    auto* project = dynamic_cast<THalcyte3DProject*>(FindProjectOfObject(dynamic_cast<TSObject*>(m_construction)));
    if (TSCustomDrawSystem3D* ds = TSDrawingFinderForm::Execute(project)) {
        const std::int32_t index = m_depository->AddDrawSystem(ds);
        if (index >= 0) {
            m_currentDrawing = index;
            FillLists();
            ShowCurrent();
            Fire(OnCurrentDrawingChange);
            DoChange();
        }
    }
    UpdateButtons();
}

void TSDepositoryComponent::DeleteDrawingBtnClick()
{
    if (m_depository && !m_locked && m_currentDrawing >= 0) {
        m_depository->DeleteDrawSystem(m_currentDrawing);
        if (m_currentDrawing >= m_depository->EntryCount())
            m_currentDrawing = m_depository->EntryCount() - 1;
        FillLists();
        ShowCurrent();
        Fire(OnCurrentDrawingChange);
        DoChange();
    }
    UpdateButtons();
}

void TSDepositoryComponent::AddRecordBtnClick()
{
    if (m_depository && !m_locked) {
        m_currentRecord = m_depository->RecordCount();
        m_depository->SetRecordCount(m_currentRecord + 1);
        m_depository->SetRecordName(m_currentRecord, kNoNamedRecord);
        FillLists();
        ShowCurrent();
        Fire(OnCurrentRecordChange);
        DoChange();
    }
    UpdateButtons();
}

void TSDepositoryComponent::DeleteRecordBtnClick()
{
    if (m_depository && !m_locked && m_depository->RecordCount() > 0) {
        m_depository->DeleteRecord(m_currentRecord);
        if (m_currentRecord >= m_depository->RecordCount())
            m_currentRecord = m_depository->RecordCount() - 1;
        FillLists();
        ShowCurrent();
        Fire(OnCurrentRecordChange);
        DoChange();
    }
    UpdateButtons();
}

void TSDepositoryComponent::UpdateButtons()
{
    const std::int32_t entries = m_depository ? m_depository->EntryCount() : 0;
    const std::int32_t records = m_depository ? m_depository->RecordCount() : 0;
    const TSDepositoryButtons b =
        DepositoryButtons(m_depository != nullptr, m_locked, entries, records, m_currentDrawing, m_currentRecord);
    const bool on[8] = {b.AddDrawing, b.DeleteDrawing, b.PrevDrawing, b.NextDrawing,
                        b.AddRecord,  b.DeleteRecord,  b.PrevRecord,  b.NextRecord};
    for (int i = 0; i < 8; ++i)
        m_buttons[i]->setEnabled(on[i]);
}

void TSDepositoryComponent::DoChange()
{
    if (m_depository)
        Fire(OnChange);
}

void TSDepositoryComponent::Fire(const std::function<void()>& Event)
{
    if (Event)
        Event();
}
