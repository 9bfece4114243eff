#pragma once
// A top-level profile window: a status bar of two 100-pixel panes under a
// CProfileView. The frame owns the profile's values; closing it frees them and the
// frame deletes itself (hold it through a QPointer).

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class CProfileView;
class CVirtualView;

namespace plat {
class StatusBar;
}

class CProfileFrame final : public QWidget {
public:
    static constexpr int kStatusBarHeight = 18;
    static constexpr int kPaneWidth = 100;

    CProfileFrame();
    ~CProfileFrame() override;
    CProfileFrame(const CProfileFrame&) = delete;
    CProfileFrame& operator=(const CProfileFrame&) = delete;

    // Builds the window (not shown yet) for count values along axis through position;
    // 0 when the values cannot be allocated.
    int Create(CVirtualView* view, const std::string& title, int axis, int position, int count);
    // Closes the window for good: the values, the view and the frame go with the event
    // loop, and the layer view is asked nothing more. Also what closing the window does.
    void DestroyWindow();

    // count values for the layer view to fill; null before Create and after DestroyWindow.
    std::uint32_t* Values() const { return m_pValues.get(); }
    int Count() const { return m_nCount; }
    CProfileView* ProfileView() const { return m_pProfileView; }
    plat::StatusBar* StatusBar() const { return m_wndStatusBar; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void RecalcLayout();

    std::unique_ptr<std::uint32_t[]> m_pValues;
    int m_nCount = 0;
    CVirtualView* m_pLayerView = nullptr;
    CProfileView* m_pProfileView = nullptr;
    plat::StatusBar* m_wndStatusBar = nullptr;
    bool m_bDestroyed = false;
};
