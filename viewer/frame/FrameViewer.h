#pragma once
// The 2D viewer window: a top-level frame with menu 230, tool bar 234, a status bar
// with a progress bar, five tool dialogs and the image window between the bars. It
// keeps the command states, relays the tool dialogs' requests to the image window and
// reports to its host and to the application's main window with WM_VIEWER_NOTIFY:
// 5 created (sent to the main window, wParam the viewer), 1 closed (posted, wParam the
// viewer), 2 ready and 3 failed (posted to the host, wParam the viewer's id).
//
// Made with new and Create; once its window exists the viewer deletes itself after the
// window is destroyed. After a failed Create the caller deletes it.

#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/paint/Geometry.h"
#include "platform/windows/WindowHandle.h"
#include "bars/SpawnFrameWnd.h"
#include "dialogs/BrightContrastDlg.h"
#include "dialogs/CursorPosDlg.h"
#include "dialogs/PaletteDlg.h"
#include "dialogs/RGBLevelsDlg.h"
#include "dialogs/StatisticsDlg.h"
#include "dialogs/StatisticsState.h"
#include "frame/CommandStates.h"
#include "window/StatusMeter.h"

class CFrame;
class CToolBarEx;
class CVectorImage;
class CViewRect;
struct PalitraTag;

namespace plat {
class StatusBar;
class ProgressCtrl;
}  // namespace plat

// Bits of the tool state (m_nFlags).
enum FrameFlag : int {
    FF_STATISTICS = 1,
    FF_ADJUST = 2,
    FF_POINTER = 4,
    FF_SELECTION = 8,
    FF_CREATED = 32,
    FF_PROGRESS = 64,
};

// Notice codes of WM_VIEWER_NOTIFY.
enum ViewerNotice : int {
    VN_CLOSED = 1,
    VN_READY = 2,
    VN_FAILED = 3,
    VN_CREATED = 5,
};

class CFrameViewer : public CSpawnFrameWnd {
    Q_OBJECT
public:
    CFrameViewer();
    ~CFrameViewer() override;

    CFrameViewer(const CFrameViewer&) = delete;
    CFrameViewer& operator=(const CFrameViewer&) = delete;

    // owner: the host that gets the notices (null: none). 1 when the window exists (the
    // file's load then reports through the notices), 0 when it could not be made:
    // nothing is loaded and the caller deletes the viewer.
    int Create(plat::WindowHandle owner, int id, int phaseMode, double sigma, int stretchType, const char* file,
               const RECT* placement);
    // Closes the layers, posts closed, destroys the window; the viewer then deletes
    // itself. 1 when the window was there to destroy.
    virtual int DestroyWindow();

    void LoadNewFile(const char* file, int phaseMode, double sigma, int stretchType, int unused);
    // The new layer's index (the outcome comes through the notices), 0 when the file
    // cannot be opened, -1 when an exception stopped the load.
    int LoadNewLayer(const char* file, int phaseMode, double sigma, int stretchType);
    int LoadNewLayer(const char* red, const char* green, const char* blue);
    // meter null: the frame's progress bar and status bar report.
    int LoadNewLayer(const char* name, void* samples, int width, int height, int type, unsigned char* levels,
                     PalitraTag* palette, double min, double max, CMeterInfoBase* meter, plat::StatusBar* statusBar);
    int LoadNewLayer(CVectorImage* image);
    int SetActiveView(int index, int show);
    void CloseView(int index);
    void CloseAll();

    void EnableMenuItems(int enable, int mask);
    void SetCommandState(CommandState state);
    void ShowProgressBar(int showCmd);

    int ImageWidth();
    int ImageHeight();
    double Min(int channel);
    double Max(int channel);
    double Mean(int channel);
    double StDev(int channel);
    std::string GetStringSizePixel(int channel);
    std::string GetStringTypeData(int channel);
    std::string GetFileName(int channel);
    std::uint32_t* GetHistAddr(int channel);
    int GetColorMode();
    int IsFazaMode() { return 0; }
    void GetPalitra(PalitraTag* out);
    void SetPalitra(PalitraTag* in);
    CViewRect* GetViewRect() const { return m_wndViewRect; }
    CFrame* GetFrame() const;
    void RedrawView();
    int GetRespondTable(unsigned char*, int) { return 0; }
    int SetRespondTable(unsigned char*, int) { return 0; }

    const plat::WindowHandle& Handle() const { return m_hWnd; }
    int GetID() const { return m_nID; }
    int GetFlags() const { return m_nFlags; }
    plat::StatusBar* StatusBar() const { return m_wndStatusBar; }
    CToolBarEx* ToolBar() const { return m_wndToolBar; }
    CStatisticsDlg& StatisticsDlg() { return m_dlgStatistics; }
    CBrightContrastDlg& BrightContrastDlg() { return m_dlgBrightContrast; }
    CRGBLevelsDlg& RGBLevelsDlg() { return m_dlgRGBLevels; }
    CCursorPosDlg& CursorPosDlg() { return m_dlgCursorPos; }
    CPaletteDlg& PaletteDlg() { return m_dlgPalette; }

    // Message handlers.
    plat::LResult OnViewer(plat::WParam wParam, plat::LParam lParam);
    plat::LResult OnDlgMessage(plat::WParam wParam, plat::LParam lParam);
    plat::LResult OnPointerMove(plat::WParam wParam, plat::LParam lParam);
    plat::LResult OnViewRect(plat::WParam wParam, plat::LParam lParam);
    int OnHelpInfo();
    // The end of a border-sizing drag.
    void OnCaptureChanged();

    // Command handlers.
    void OnButtonLoad();
    void OnButtonLoadRgb();
    void OnMenuSaveas();
    void OnButtonCloseView();
    void SelectMouseTool(int tool, unsigned button);
    void OnButtonAdjust();
    void OnButtonViewerHist();
    void OnButtonPointer();
    void OnButtonMark();
    void OnButtonEqual();
    void OnButtonPalitra();
    void OnButtonFit();
    void OnButtonRealScale();
    void OnVrCmDecScale();
    void OnVrCmIncScale();
    void OnVrCmSaveBox();
    int OnMenuHelp();

protected:
    void OnCommand(unsigned id) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool OnCreate();
    void OnSize();
    // Runs a load under the guard; -1 after an exception.
    int GuardedLoad(const std::function<int()>& load);
    void PostToHost(plat::WParam wParam, plat::LParam code) const;
    void Reset(int closeIndex);
    void PressButton(unsigned id, bool pressed);
    void WritePointer(int x, int y);
    int ClientWidth() const;

    int m_bSizing = 0;
    plat::WindowHandle m_pOwner;
    CStatusMeter m_StatusMeter;
    CToolBarEx* m_wndToolBar = nullptr;
    plat::ProgressCtrl* m_wndProgress = nullptr;
    plat::StatusBar* m_wndStatusBar = nullptr;
    CActiveViewQueries m_statQueries;  // what the statistics window reads
    CStatisticsDlg m_dlgStatistics;
    CBrightContrastDlg m_dlgBrightContrast;
    CRGBLevelsDlg m_dlgRGBLevels;
    CCursorPosDlg m_dlgCursorPos;
    CPaletteDlg m_dlgPalette;
    CViewRect* m_wndViewRect = nullptr;
    int m_nFlags = 0;
    int m_nID = 0;

    bool m_bCreated = false;
    bool m_bDestroyed = false;
    plat::WindowHandle m_hWnd;
    QTimer m_SizingTimer;
};
