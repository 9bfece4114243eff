#pragma once
// Helpers of the property editors' tests: a byte stream and an event log.

#include "engine3d/model/SGeneral.h"

#include <QCoreApplication>
#include <QImage>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace editortest {

class BytesStream final : public TSObjectsStream {
public:
    std::vector<unsigned char> Bytes;
    std::int32_t Pos = 0;

    void SetPosition(std::int32_t Position) override { Pos = Position; }
    std::int32_t GetPosition() override { return Pos; }
    std::int64_t Remaining() const override { return std::int64_t(Bytes.size()) - Pos; }
    void Read(void* Buffer, std::int32_t Count) override
    {
        if (Count < 0 || std::size_t(Pos) + std::size_t(Count) > Bytes.size())
            throw EStreamError("read past the end");
        std::memcpy(Buffer, Bytes.data() + Pos, std::size_t(Count));
        Pos += Count;
    }
    void Write(const void* Buffer, std::int32_t Count) override
    {
        if (std::size_t(Pos) + std::size_t(Count) > Bytes.size())
            Bytes.resize(std::size_t(Pos) + std::size_t(Count));
        std::memcpy(Bytes.data() + Pos, Buffer, std::size_t(Count));
        Pos += Count;
    }
};

// With SUITE_SCREENSHOT_DIR set, a picture of Window is kept there.
inline void KeepShot(QWidget* Window, const char* Name)
{
    if (const char* dir = std::getenv("SUITE_SCREENSHOT_DIR")) {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        Window->grab().toImage().save(QString::fromUtf8(dir) + "/" + Name);
    }
}

// Records the event codes of whatever it is subscribed to, from any thread.
struct EventLog {
    mutable std::mutex Lock;
    std::vector<std::int32_t> Codes;
    void Event(TObject*, std::int32_t Code, TSParam)
    {
        std::lock_guard guard(Lock);
        Codes.push_back(Code);
    }
    int Count(std::int32_t Code) const
    {
        std::lock_guard guard(Lock);
        return int(std::count(Codes.begin(), Codes.end(), Code));
    }
    void Clear()
    {
        std::lock_guard guard(Lock);
        Codes.clear();
    }
    TSEventHandler Handler() { return TSEventHandler::Of<&EventLog::Event>(this); }
};

}  // namespace editortest
