// The parameter store of a construction: records, choices per drawing system,
// the two parameters the project sends, copying, and the file record.

#include "SceneTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

// 8-byte records; every ApplyRecord noted with the current record and the
// first 4 bytes of its data (-1 without data).
class TTestDepository final : public TSDepositoryCustomConstruction3D {
    S_CLASS(TTestDepository)
public:
    struct Applied {
        std::int32_t Record;
        std::int32_t Value;
        bool WithConstruction;
        bool EventsDisabled;
        bool operator==(const Applied&) const = default;
    };
    std::vector<Applied> Log;

    std::int32_t RecordSize() override { return 8; }
    void ApplyRecord() override
    {
        std::int32_t value = -1;
        if (const void* data = GetRecordData(CurrentRecord()))
            std::memcpy(&value, data, 4);
        Log.push_back({CurrentRecord(), value, Construction() != nullptr,
                       Construction() != nullptr && Construction()->Events.IsDisabled()});
    }
    void Put(std::int32_t Index, std::int32_t Value)
    {
        if (void* data = GetRecordData(Index))
            std::memcpy(data, &Value, 4);
    }
};

constinit const TSClassInfo TTestDepository::ClassInfo{"TTestDepository", &TSDepositoryCustomConstruction3D::ClassInfo,
                                                       &TSNewObject<TTestDepository>};

// A store with Count records, record i holding 100 + i, Current selected, log cleared.
std::unique_ptr<TTestDepository> Store(std::int32_t Count, std::int32_t Current)
{
    auto d = Make<TTestDepository>();
    d->SetRecordCount(Count);
    for (std::int32_t i = 0; i < Count; ++i) {
        d->Put(i, 100 + i);
        d->SetRecordName(i, "r" + std::to_string(i));
    }
    d->SelectRecord(Current);
    d->Log.clear();
    return d;
}

using Applied = TTestDepository::Applied;

// 64-byte records; ApplyRecord reads the whole current record, as a render would.
class TReadingDepository final : public TSDepositoryCustomConstruction3D {
    S_CLASS(TReadingDepository)
public:
    std::atomic<std::int64_t> Sum{0};
    std::atomic<std::int32_t> Applies{0};

    std::int32_t RecordSize() override { return 64; }
    void ApplyRecord() override
    {
        if (const auto* data = static_cast<const std::uint8_t*>(GetRecordData(CurrentRecord())))
            for (int i = 0; i < 64; ++i)
                Sum += data[i];
        ++Applies;
    }
};

constinit const TSClassInfo TReadingDepository::ClassInfo{
    "TReadingDepository", &TSDepositoryCustomConstruction3D::ClassInfo, &TSNewObject<TReadingDepository>};

TEST(Depository, RecordOperationsAsTheyMoveTheCurrentRecord)
{
    struct Row {
        const char* What;
        std::int32_t Count, Current;
        std::function<void(TTestDepository&)> Do;
        std::int32_t ExpectCount, ExpectCurrent;
        std::vector<std::int32_t> ExpectApplied;  // records applied, in order
    } rows[] = {
        {"delete the current record", 3, 1, [](TTestDepository& d) { d.DeleteRecord(1); }, 2, 1, {1}},
        {"delete one below it", 3, 1, [](TTestDepository& d) { d.DeleteRecord(0); }, 2, 0, {}},
        {"delete one above it", 3, 1, [](TTestDepository& d) { d.DeleteRecord(2); }, 2, 1, {}},
        {"delete outside", 3, 1, [](TTestDepository& d) { d.DeleteRecord(3); }, 3, 1, {}},
        {"no records left", 3, 1, [](TTestDepository& d) { d.SetRecordCount(0); }, 0, -1, {}},
        {"shrink below the current", 3, 2, [](TTestDepository& d) { d.SetRecordCount(1); }, 1, 0, {0}},
        {"grow", 1, 0, [](TTestDepository& d) { d.SetRecordCount(4); }, 4, 0, {}},
        {"negative count", 2, 0, [](TTestDepository& d) { d.SetRecordCount(-5); }, 0, -1, {}},
        {"select outside", 3, 1, [](TTestDepository& d) { d.SelectRecord(7); }, 3, -1, {}},
        {"select the same", 3, 1, [](TTestDepository& d) { d.SelectRecord(1); }, 3, 1, {}},
        {"select another", 3, 1, [](TTestDepository& d) { d.SelectRecord(2); }, 3, 2, {2}},
    };
    for (const Row& row : rows) {
        auto d = Store(row.Count, row.Current);
        row.Do(*d);
        EXPECT_EQ(d->RecordCount(), row.ExpectCount) << row.What;
        EXPECT_EQ(d->CurrentRecord(), row.ExpectCurrent) << row.What;
        std::vector<std::int32_t> applied;
        for (const Applied& a : d->Log)
            applied.push_back(a.Record);
        EXPECT_EQ(applied, row.ExpectApplied) << row.What;
    }
    // The deleted record's place is taken by the ones behind it.
    auto d = Store(3, 1);
    d->DeleteRecord(1);
    EXPECT_EQ(d->GetRecordName(1), "r2");
    EXPECT_EQ(d->Log.back().Value, 102);
    EXPECT_EQ(d->GetRecordName(5), "");
    EXPECT_EQ(d->GetRecordData(-1), nullptr);
}

TEST(Depository, ChoicesPerDrawingSystem)
{
    auto d = Store(3, 0);
    auto a = Make<TSCustomDrawSystem3D>();
    auto b = Make<TSCustomDrawSystem3D>();
    EXPECT_EQ(d->AddDrawSystem(nullptr), -1);
    EXPECT_EQ(d->AddDrawSystem(a.get()), 0);
    EXPECT_EQ(d->AddDrawSystem(b.get()), 1);
    EXPECT_EQ(d->AddDrawSystem(a.get()), 0);
    EXPECT_EQ(d->EntryCount(), 2);
    EXPECT_EQ(d->GetDrawSystem(-1), nullptr);
    EXPECT_EQ(d->GetDrawSystem(2), nullptr);
    EXPECT_EQ(d->GetDrawSystemRecord(0, false), 0);  // new entries choose record 0

    d->SetDrawSystemRecord(0, true, 2);
    d->SetDrawSystemRecord(1, false, 3);   // = the count: none
    d->SetDrawSystemRecord(-1, false, 1);  // the default
    d->SetDrawSystemRecord(-1, true, -7);  // negative stored as given
    EXPECT_EQ(d->GetDrawSystemRecord(0, true), 2);
    EXPECT_EQ(d->GetDrawSystemRecord(1, false), -1);
    EXPECT_EQ(d->GetDrawSystemRecord(-1, false), 1);
    EXPECT_EQ(d->GetDrawSystemRecord(9, true), -7);

    // Deleting a record keeps every choice on its record.
    d->SetDrawSystemRecord(1, false, 1);
    d->SetDrawSystemRecord(1, true, 0);
    d->DeleteRecord(0);
    EXPECT_EQ(d->GetDrawSystemRecord(0, true), 1);   // was 2
    EXPECT_EQ(d->GetDrawSystemRecord(1, false), 0);  // was 1
    EXPECT_EQ(d->GetDrawSystemRecord(1, true), -1);  // was the deleted one
    EXPECT_EQ(d->GetDrawSystemRecord(-1, false), 0);
    EXPECT_EQ(d->GetDrawSystemRecord(-1, true), -7);

    // A destroyed drawing system loses its entry.
    a.reset();
    EXPECT_EQ(d->EntryCount(), 1);
    EXPECT_EQ(d->GetDrawSystem(0), b.get());
    d->DeleteDrawSystem(0);
    EXPECT_EQ(d->EntryCount(), 0);
    b.reset();  // no longer heard: nothing to remove
}

TEST(Depository, ParametersTheProjectSends)
{
    auto d = Store(3, 0);
    auto construction = Make<TSCustomConstruction3D>();
    auto ds = Make<TSCustomDrawSystem3D>();
    auto other = Make<TSCustomDrawSystem3D>();

    // 4096 with something that is no construction: nil, also for the caller.
    TObject* object = other.get();
    EXPECT_EQ(d->SetParameter(diConstruction, &object), 0);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(d->Construction(), nullptr);
    object = construction.get();
    EXPECT_EQ(d->SetParameter(diConstruction, &object), 0);
    EXPECT_EQ(d->Construction(), construction.get());
    TObject* read = nullptr;
    EXPECT_EQ(d->GetParameter(diConstruction, &read), 0);
    EXPECT_EQ(read, construction.get());
    EXPECT_EQ(d->GetParameter(5, &read), -1);
    EXPECT_EQ(d->SetParameter(5, nullptr), -1);

    d->AddDrawSystem(ds.get());
    d->SetDrawSystemRecord(0, false, 2);
    d->SetDrawSystemRecord(0, true, 1);
    d->SetDrawSystemRecord(-1, false, 0);
    d->Log.clear();
    EventLog log;
    construction->Events.Add(log.Handler());
    TSDepositoryApply apply{ds.get(), 0};
    d->SetParameter(diApply, &apply);
    apply.Special = 1;
    d->SetParameter(diApply, &apply);
    apply.DrawSystem = other.get();  // no entry: the default
    apply.Special = 0;
    d->SetParameter(diApply, &apply);
    EXPECT_EQ(d->Log, (std::vector<Applied>{{2, 102, true, true}, {1, 101, true, true}, {0, 100, true, true}}));
    EXPECT_FALSE(construction->Events.IsDisabled());
    EXPECT_TRUE(log.Entries.empty());
    // A stored choice past the records is applied as it stands: no data.
    d->SetRecordCount(2);
    d->Log.clear();
    apply.DrawSystem = ds.get();
    d->SetParameter(diApply, &apply);
    EXPECT_EQ(d->Log, (std::vector<Applied>{{2, -1, true, true}}));

    // The construction destroyed: forgotten, 4097 does nothing.
    construction.reset();
    EXPECT_EQ(d->Construction(), nullptr);
    d->Log.clear();
    d->SetParameter(diApply, &apply);
    EXPECT_TRUE(d->Log.empty());
}

TEST(Depository, CopyAndAssign)
{
    auto a = Store(2, 0);
    auto b = Store(2, 0);
    EXPECT_TRUE(b->CopyFrom(a.get()));  // CopyRecord answers changed
    auto ds = Make<TSCustomDrawSystem3D>();
    a->AddDrawSystem(ds.get());
    a->SetRecordCount(3);
    a->Put(2, 7);
    a->SetRecordName(2, "third");
    b->Log.clear();
    EXPECT_TRUE(b->CopyFrom(a.get()));
    EXPECT_TRUE(b->Log.empty());
    EXPECT_EQ(b->RecordCount(), 3);
    EXPECT_EQ(b->GetRecordName(2), "third");
    EXPECT_EQ(b->GetDrawSystem(0), ds.get());
    ds.reset();  // b hears it too
    EXPECT_EQ(b->EntryCount(), 0);

    struct Wide final : public TSDepositoryCustomConstruction3D {
        std::int32_t RecordSize() override { return 16; }
    };
    Wide wide;
    wide.SetRecordCount(5);
    b->Assign(&wide);
    EXPECT_EQ(b->RecordCount(), 3);
    b->Assign(nullptr);
    EXPECT_EQ(b->RecordCount(), 3);
}

TEST(Depository, SaveLoadAndLink)
{
    auto d = Store(2, 1);
    auto construction = Make<TSCustomConstruction3D>();
    auto ds = Make<TSCustomDrawSystem3D>();
    TObject* object = construction.get();
    d->SetParameter(diConstruction, &object);
    d->AddDrawSystem(ds.get());
    d->SetDrawSystemRecord(0, true, 1);
    d->SetDrawSystemRecord(-1, false, 0);
    d->SetRecordName(0, "first");
    d->SetRecordName(1, "second");

    MemoryStream stream;
    const std::int32_t bytes = d->Save(&stream);
    // 24 + (4 + name + 8) per record + 12 per entry.
    EXPECT_EQ(bytes, 24 + (4 + 5 + 8) + (4 + 6 + 8) + 12);
    EXPECT_EQ(std::size_t(bytes), stream.Bytes.size());

    auto loaded = Make<TTestDepository>();
    stream.Pos = 0;
    EXPECT_EQ(loaded->Load(&stream), bytes);
    EXPECT_EQ(loaded->Construction(), nullptr);  // not a number posing as an object
    EXPECT_EQ(loaded->RecordCount(), 2);
    EXPECT_EQ(loaded->CurrentRecord(), 1);
    EXPECT_EQ(loaded->GetRecordName(1), "second");
    EXPECT_EQ(loaded->EntryCount(), 1);
    EXPECT_EQ(loaded->GetDrawSystem(0), nullptr);
    for (const Applied& a : loaded->Log)
        EXPECT_FALSE(a.WithConstruction);
    stream.Found[stream.Ids[construction.get()]] = construction.get();
    stream.Found[stream.Ids[ds.get()]] = ds.get();
    EXPECT_EQ(loaded->Link(&stream), 2);
    EXPECT_EQ(loaded->Construction(), construction.get());
    EXPECT_EQ(loaded->GetDrawSystem(0), ds.get());
    EXPECT_EQ(loaded->GetDrawSystemRecord(0, true), 1);
    ds.reset();
    EXPECT_EQ(loaded->EntryCount(), 0);
    construction.reset();
    EXPECT_EQ(loaded->Construction(), nullptr);

    // Counts the bytes left cannot hold, or negative ones, are refused.
    struct Bad {
        std::size_t At;
        std::int32_t Value;
    } bads[] = {{16, -1}, {16, 1000000}, {16, 0x7FFFFFFF}};
    for (const Bad& bad : bads) {
        MemoryStream broken;
        broken.Bytes = stream.Bytes;
        std::memcpy(broken.Bytes.data() + bad.At, &bad.Value, 4);
        broken.Pos = 0;
        auto target = Make<TTestDepository>();
        EXPECT_NE(ErrorOf([&] { target->Load(&broken); }).find("Can't load : Invalid Value"), std::string::npos)
            << bad.Value;
    }
    const std::size_t entriesAt = std::size_t(bytes) - 12 - 4;
    for (std::int32_t value : {-1, 2, 1 << 30}) {
        MemoryStream broken;
        broken.Bytes = stream.Bytes;
        std::memcpy(broken.Bytes.data() + entriesAt, &value, 4);
        broken.Pos = 0;
        auto target = Make<TTestDepository>();
        EXPECT_NE(ErrorOf([&] { target->Load(&broken); }).find("Can't load : Invalid Value"), std::string::npos)
            << value;
    }
}

}  // namespace

// The project's render applies choices (4097) on its thread while an editor changes
// records, names, entries and the current record: nothing is read half changed, and
// the record the editor selected stays current.
TEST(Depository, RenderAppliesWhileTheEditorChangesTheStore)
{
    auto d = Make<TReadingDepository>();
    auto construction = Make<TSCustomConstruction3D>();
    auto ds = Make<TSCustomDrawSystem3D>();
    TObject* object = construction.get();
    d->SetParameter(diConstruction, &object);
    std::atomic<bool> stop{false};
    std::thread render([&] {
        for (std::uint8_t special = 0; !stop.load(); special ^= 1) {
            TSDepositoryApply apply{ds.get(), special};
            d->SetParameter(diApply, &apply);
        }
    });
    for (int i = 0; i < 3000; ++i) {
        d->SetRecordCount(1 + i % 7);
        d->SetRecordName(0, std::string(std::size_t(i % 50), 'x'));
        const std::int32_t entry = d->AddDrawSystem(ds.get());
        d->SetDrawSystemRecord(entry, i % 2 == 0, i % 5);
        const std::int32_t chosen = i % 3 < d->RecordCount() ? i % 3 : -1;
        d->SelectRecord(i % 3);
        ASSERT_EQ(d->CurrentRecord(), chosen) << i;
        if (i % 10 == 0)
            d->DeleteDrawSystem(entry);
        if (i % 4 == 0)
            d->DeleteRecord(0);
    }
    stop = true;
    render.join();
    EXPECT_GT(d->Applies.load(), 0);
    d->SetParameter(diConstruction, nullptr);
}
