#pragma once
// The control through which an editor manages a construction's parameter
// records and the record each drawing system is drawn with.

#include "engine3d/scene/SCustom3D.h"

#include <QRect>
#include <QWidget>

#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QToolButton;

// The nine layout properties.
struct TSDepositoryMetrics {
    std::int32_t BevelPos = 128;
    std::int32_t BtnWidth = 25;
    std::int32_t BtnHeight = 21;
    std::int32_t BevelInterval = 3;
    std::int32_t BtnXInterval = 3;
    std::int32_t BtnYInterval = 3;
    std::int32_t BoxInterval = 3;
    std::int32_t BoxPos = 50;
    std::int32_t LabelPos = 5;
    bool operator==(const TSDepositoryMetrics&) const = default;
};

// Where the children go in a control of Width x Height, for combo boxes and
// labels of the given heights.
struct TSDepositoryPlaces {
    QRect Bevel;
    QRect AddDrawing, DeleteDrawing, PrevDrawing, NextDrawing;
    QRect AddRecord, DeleteRecord, PrevRecord, NextRecord;
    QRect OrdinaryBox, SpecialBox;
    QRect DrawingList, RecordList;
    QRect OrdinaryLabel, SpecialLabel;
};
TSDepositoryPlaces LayoutControls(const TSDepositoryMetrics& M, int Width, int Height, int BoxHeight,
                                  int LabelHeight, int LabelWidth);

// Which of the eight buttons are enabled.
struct TSDepositoryButtons {
    bool AddDrawing = false, DeleteDrawing = false, PrevDrawing = false, NextDrawing = false;
    bool AddRecord = false, DeleteRecord = false, PrevRecord = false, NextRecord = false;
    bool operator==(const TSDepositoryButtons&) const = default;
};
TSDepositoryButtons DepositoryButtons(bool HasDepository, bool Locked, std::int32_t Entries, std::int32_t Records,
                                      std::int32_t CurrentDrawing, std::int32_t CurrentRecord);

class TSDepositoryComponent final : public QWidget {
public:
    explicit TSDepositoryComponent(QWidget* Parent = nullptr);
    ~TSDepositoryComponent() override;

    TSDepositoryCustomConstruction3D* Depository() const { return m_depository; }
    void SetDepository(TSDepositoryCustomConstruction3D* Depository);
    TSObject* Construction() const { return m_construction; }
    void SetConstruction(TSObject* Construction) { m_construction = Construction; }
    bool Locked() const { return m_locked; }
    void SetLocked(bool On);
    std::int32_t CurrentDrawing() const { return m_currentDrawing; }
    std::int32_t CurrentRecord() const { return m_currentRecord; }
    void SetCurrentDrawing(std::int32_t Index);
    void SetCurrentRecord(std::int32_t Index);
    void RefreshAll();

    const TSDepositoryMetrics& Metrics() const { return m_metrics; }
    // Stores changed values and lays the children out again.
    void SetMetrics(const TSDepositoryMetrics& Metrics);

    std::function<void()> OnChange;
    std::function<void()> OnCurrentDrawingChange;
    std::function<void()> OnCurrentRecordChange;

    // The children, for tests and editors.
    QListWidget* DrawingList() const { return m_drawingList; }
    QListWidget* RecordList() const { return m_recordList; }
    QComboBox* OrdinaryBox() const { return m_ordinaryBox; }
    QComboBox* SpecialBox() const { return m_specialBox; }
    QToolButton* AddDrawingBtn() const { return m_buttons[0]; }
    QToolButton* DeleteDrawingBtn() const { return m_buttons[1]; }
    QToolButton* PrevDrawingBtn() const { return m_buttons[2]; }
    QToolButton* NextDrawingBtn() const { return m_buttons[3]; }
    QToolButton* AddRecordBtn() const { return m_buttons[4]; }
    QToolButton* DeleteRecordBtn() const { return m_buttons[5]; }
    QToolButton* PrevRecordBtn() const { return m_buttons[6]; }
    QToolButton* NextRecordBtn() const { return m_buttons[7]; }

    void AddDrawingBtnClick();
    void DeleteDrawingBtnClick();
    void AddRecordBtnClick();
    void DeleteRecordBtnClick();

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void LayoutChildren();
    void FillLists();
    void ShowCurrent();
    void UpdateButtons();
    void DoChange();
    void Fire(const std::function<void()>& Event);
    void BoxChanged(bool Special, int Index);
    void RecordEdited(QListWidgetItem* Item);
    void FillBoxes();

    TSDepositoryCustomConstruction3D* m_depository = nullptr;
    TSObject* m_construction = nullptr;
    TSDepositoryMetrics m_metrics;
    bool m_updating = false;
    bool m_locked = false;
    std::int32_t m_currentDrawing = -1;
    std::int32_t m_currentRecord = 0;
    QListWidget* m_drawingList = nullptr;
    QListWidget* m_recordList = nullptr;
    QComboBox* m_ordinaryBox = nullptr;
    QComboBox* m_specialBox = nullptr;
    QLabel* m_ordinaryLabel = nullptr;
    QLabel* m_specialLabel = nullptr;
    QFrame* m_bevel = nullptr;
    QToolButton* m_buttons[8] = {};
};
