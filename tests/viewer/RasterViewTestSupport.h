#pragma once
// Layer files, a notice window and settings for the raster view tests.

#include <gtest/gtest.h>

#include <QWidget>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

#include "PumpUntil.h"
#include "ScopedEnvFolder.h"
#include "platform/resources/StringTable.h"
#include "TempDir.h"
#include "VarnokApp.h"
#include "format/SampleConvert.h"
#include "jobs/MeterInfoBase.h"
#include "jobs/ThreadList.h"
#include "layer/DataTypes.h"
#include "layer/RDPExcept.h"
#include "layer/RDPLayer.h"
#include "settings/SNRegKey.h"
#include "window/ViewerMessages.h"

namespace rvtest {

// Writes a one-layer file whose samples come from value(x, y, part) (complex types take
// two components per sample); statistics are computed at close.
inline void WriteLayer(const std::string& path, int w, int h, int type,
                       const std::function<double(int x, int y, int part)>& value)
{
    CRDPLayer layer;
    void** rows = layer.CreateLayer(path.c_str(), w, h, type, 5);
    ASSERT_NE(rows, nullptr) << path;
    const bool known = sample::Dispatch(type, [&](auto kind) {
        using K = decltype(kind);
        using C = typename K::Component;
        const int parts = K::complex ? 2 : 1;
        for (int y = 0; y < h; ++y) {
            auto* row = static_cast<unsigned char*>(rows[y]);
            for (int x = 0; x < w; ++x)
                for (int p = 0; p < parts; ++p)
                    sample::Store(row + (int64_t(x) * parts + p) * int64_t(sizeof(C)),
                                  sample::FromDouble<C>(value(x, y, p)));
        }
    });
    ASSERT_TRUE(known) << "type " << type;
    ASSERT_EQ(layer.CloseLayer(), 1);
}

inline void SetTime(const std::string& path, std::time_t t)
{
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

inline std::vector<unsigned char> ReadAll(const std::string& path)
{
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

inline ino_t Inode(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A window that records the viewer notices it gets.
class NoticeWindow final {
public:
    NoticeWindow()
    {
        handle = plat::WindowHandle::Attach(&widget, [this](unsigned msg, plat::WParam w, plat::LParam l) {
            if (msg == WM_VIEWER_NOTIFY)
                notices.emplace_back(int(w), int(l));
            else if (msg == WM_VIEWER_STATUS)
                ++statusRequests;
            return plat::LResult(0);
        });
    }
    bool WaitFor(size_t count)
    {
        return testsupport::PumpUntil([&] { return notices.size() >= count; }, std::chrono::seconds(60));
    }

    QWidget widget;
    plat::WindowHandle handle;
    std::vector<std::pair<int, int>> notices;  // index, code
    int statusRequests = 0;
};

// Holds the job that reports to it at its first report until released.
class HoldingMeter final : public CMeterInfoBase {
public:
    void SetCaption(const char*) override {}
    void SetText(const char*) override {}
    void SetPos(double) override { Hold(); }
    void SetRange(double, double) override { Hold(); }
    void GetRange(double* lo, double* hi) override { *lo = *hi = 0; }
    void GetPos(double* pos) override { *pos = 0; }
    void SetStep(double) override {}
    void StepIt() override { Hold(); }
    std::string GetCaption() override { return {}; }
    std::string GetText() override { return {}; }

    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};

private:
    void Hold()
    {
        entered = true;
        while (!released)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// Throws a memory error at its throwAt-th step, so a preparation job fails for real.
class ThrowingMeter final : public CMeterInfoBase {
public:
    void SetCaption(const char*) override {}
    void SetText(const char*) override {}
    void SetPos(double) override {}
    void SetRange(double, double) override { ++ranges; }
    void GetRange(double*, double*) override {}
    void GetPos(double*) override {}
    void SetStep(double) override {}
    void StepIt() override
    {
        if (++steps == throwAt)
            AfxThrowRDPExcept(RDP_MEMORY);
    }
    std::string GetCaption() override { return {}; }
    std::string GetText() override { return {}; }

    int throwAt = 0;
    int steps = 0;
    int ranges = 0;
};

// Waits until no job runs, serving the GUI thread meanwhile.
inline bool WaitForNoJobs()
{
    const bool ended =
        testsupport::PumpUntil([] { return GlobalThreadList().GetCount() == 0; }, std::chrono::seconds(60));
    // What the last job posted is delivered too.
    testsupport::PumpUntil([] { return false; }, std::chrono::milliseconds(20));
    return ended;
}

inline const plat::StringEntry kHostStrings[] = {{115, "SOFTWARE\\Tolvek\\Quorvex"}};

// Private settings, a scratch folder and the host's application key.
class ViewFixture : public ::testing::Test {
protected:
    ScopedEnvFolder m_config{"XDG_CONFIG_HOME"};
    ScopedEnvFolder m_runtime{"XDG_RUNTIME_DIR"};
    plat::StringTableRegistration m_host{"TestHost", kHostStrings, true};
    testsupport::TempDir m_dir;

    void TearDown() override { EXPECT_TRUE(WaitForNoJobs()); }

    std::string File(const std::string& name) const { return m_dir.File(name); }

    void SetTempDir(const std::string& folder)
    {
        CSNRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, GetGeneralSettingsKey().c_str()), 1);
        ASSERT_EQ(key.SetStringValue(folder.c_str(), "TempDir"), 1);
    }
};

}  // namespace rvtest
