#pragma once
// What the two light editors share: the depository with its editor window's
// state, and the modeless window that edits a working copy of it. A light
// class gives the record layout, the lights it accepts and ApplyRecord.

#include "engine3d/scene/SCustom3D.h"

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class TSDepositoryComponent;
class TSFlatCaption;
class TSLightEditorForm;

// One double of a light record and its edit.
struct TSLightValueField {
    const char* EditName;  // the edit's object name
    const char* Caption;
    const char* Group;     // nullptr: no group box
    std::int32_t Offset;
};

struct TSLightRecordLayout {
    std::int32_t Size = 0;
    std::int32_t EnabledOffset = 0;
    std::vector<TSLightValueField> Fields;
    std::vector<double> NewRecord;  // one per field
};

// The window state a light depository keeps: 24 bytes in the file.
struct TSEditorWindowState {
    std::int32_t Left = -1;
    std::int32_t Top = -1;
    std::uint8_t Pinned = 0;
    std::int32_t CurrentDrawing = 0;
    std::int32_t CurrentRecord = 0;
    std::int32_t WindowOrder = 0;
    bool operator==(const TSEditorWindowState&) const = default;
};

// The depository of a light, editor window included. Not a class of its own
// in the registry: the two light depositories derive from it.
class TSLightDepositoryBase : public TSDepositoryCustomConstruction3D {
public:
    ~TSLightDepositoryBase() override;

    virtual const TSLightRecordLayout& Layout() const = 0;
    virtual bool Accepts(TSCustomConstruction3D* Value) const = 0;
    // A new window of the class's own form.
    virtual TSLightEditorForm* NewForm() = 0;

    TSLightEditorForm* Form() const { return m_form; }
    void SetForm(TSLightEditorForm* Form) { m_form = Form; }
    TSEditorWindowState State;

    // Opens the editor of Param when it is the linked construction.
    std::int32_t OpenEditor(TSParam Param) { return Edit(Param); }
    // This depository takes Source's records, entries and choices and its
    // window state; the light is drawn again.
    virtual void ApplySettings(TSLightDepositoryBase* Source);

    // The double of Field in record Data.
    static double Value(const void* Data, std::int32_t Offset);
    static void SetValue(void* Data, std::int32_t Offset, double V);

    std::int32_t Edit(TSParam Param) override;
    void ConstructionEvent(TObject* Sender, std::int32_t Code, TSParam Param) override;
    void DrawSystemEvent(TObject* Sender, std::int32_t Code, TSParam Param) override;
    void SetConstruction(TSCustomConstruction3D* Value) override;
    std::int32_t RecordSize() override { return Layout().Size; }
    void InitRecord(void* Data) override;
    bool CopyRecord(void* Dest, const void* Source) override;
    std::int32_t WriteRecord(TSObjectsStream* Stream, const void* Data) override;
    std::int32_t ReadRecord(TSObjectsStream* Stream, void* Data) override;

    void Initialize() override;
    void Assign(TPersistent* Source) override;
    std::int32_t Save(TSObjectsStream* Stream) override;
    std::int32_t Load(TSObjectsStream* Stream) override;
    std::int32_t Link(TSObjectsStream* Stream) override;

private:
    // Creates the window for the construction; shown or hidden.
    void CreateForm(bool Visible);
    void FreeForm();

    TSLightEditorForm* m_form = nullptr;
};

// The light editor: records and choices through the depository component,
// the values of the current record through its edits.
class TSLightEditorForm : public QWidget {
public:
    TSLightEditorForm(TSClass DepositoryClass, const TSLightRecordLayout& Layout);
    ~TSLightEditorForm() override;

    TSLightDepositoryBase* Depository() const { return m_depository; }
    void SetDepository(TSLightDepositoryBase* Depository) { m_depository = Depository; }
    TSLightDepositoryBase* WorkingCopy() const { return m_workingCopy; }
    TSFlatCaption* Caption() const { return m_caption; }
    TSDepositoryComponent* Component() const { return m_component; }
    QLineEdit* ValueEdit(std::size_t Index) const { return m_edits[Index]; }
    std::size_t ValueEditCount() const { return m_edits.size(); }
    QCheckBox* EnabledBox() const { return m_enabledBox; }
    QPushButton* ResetBtn() const { return m_resetBtn; }
    QPushButton* ApplyBtn() const { return m_applyBtn; }
    QPushButton* CloseBtn() const { return m_closeBtn; }

    // Restores the window from the working copy's state and shows it or not.
    void RestoreFormState(bool Visible);

    void SDepositoryComponent1CurrentRecordChange();
    void SDepositoryComponent1Change();
    void ValueEditChange(std::size_t Index);
    void EnabledBoxClick();
    void ApplyBtnClick();
    void ResetBtnClick();
    void CloseBtnClick();
    // The depository lets go of the window: its state goes back into it.
    void Detach();

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    const TSLightRecordLayout& m_layout;
    TSLightDepositoryBase* m_depository = nullptr;
    TSLightDepositoryBase* m_workingCopy = nullptr;
    std::uint8_t m_updating = 0;
    TSFlatCaption* m_caption = nullptr;
    TSDepositoryComponent* m_component = nullptr;
    std::vector<QLineEdit*> m_edits;
    QCheckBox* m_enabledBox = nullptr;
    QPushButton* m_resetBtn = nullptr;
    QPushButton* m_applyBtn = nullptr;
    QPushButton* m_closeBtn = nullptr;
};
