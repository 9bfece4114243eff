#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

namespace {

using Events = std::vector<std::pair<std::int32_t, TSParam>>;

class TWidget final : public TSCustomChangeObject {
    S_CLASS(TWidget)
};
constinit const TSClassInfo TWidget::ClassInfo{"TWidget", &TSCustomChangeObject::ClassInfo, &TSNewObject<TWidget>};

// True when another thread can take the object's lock within a second.
bool LockIsFree(TSCustomChangeObject* obj)
{
    auto taken = std::make_shared<std::atomic<bool>>(false);
    std::thread t([obj, taken] {
        obj->Lock();
        obj->Unlock();
        *taken = true;
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!*taken && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (*taken)
        t.join();
    else
        t.detach();  // the lock leaked; the failing test ends the program soon
    return *taken;
}

std::uint64_t NameNumber(const std::string& name)
{
    return std::stoull(name.substr(name.rfind(' ') + 1));
}

}  // namespace

TEST(SChangeObject, ChangeBrackets)
{
    // B/E: BeginChange/EndChange(false, p); K/k: the same with the lock kept;
    // N: SetName with the text that follows up to ';'.
    struct Case {
        const char* ops;
        Events events;
        bool changing;
    };
    const Case cases[] = {
        {"B1 E2", {{4, 1}, {5, 2}}, false},
        {"B1 B2 E3 E4", {{4, 1}, {5, 4}}, false},
        {"B1 B2 B3 E4 E5 E6", {{4, 1}, {5, 6}}, false},
        {"E1", {}, false},
        {"E1 B2 E3", {{4, 2}, {5, 3}}, false},
        {"B1 E2 E3", {{4, 1}, {5, 2}}, false},
        {"B7", {{4, 7}}, true},
        {"B1 B2 E3", {{4, 1}}, true},
        {"K1 k2", {{4, 1}, {5, 2}}, false},
        {"B1 K2 k3 E4", {{4, 1}, {5, 4}}, false},
        {"K1 B2 E3 k4", {{4, 1}, {5, 4}}, false},
        {"Nfirst;", {{4, 0}, {8, 0}, {5, 0}}, false},
        {"Nfirst; Nfirst;", {{4, 0}, {8, 0}, {5, 0}}, false},
        {"B5 Nx; E6", {{4, 5}, {8, 0}, {5, 6}}, false},
    };
    for (const auto& c : cases) {
        EventLog log;  // outlives the object, which announces its end
        std::unique_ptr<TWidget> obj(TSObject::Create<TWidget>());
        obj->Events.Add(log.Handler());
        std::string ops = c.ops;
        for (std::size_t i = 0; i < ops.size();) {
            const char kind = ops[i++];
            if (kind == ' ')
                continue;
            if (kind == 'N') {
                const auto end = ops.find(';', i);
                obj->SetName(ops.substr(i, end - i));
                i = end + 1;
                continue;
            }
            const int param = ops[i++] - '0';
            switch (kind) {
            case 'B':
                obj->BeginChange(false, param);
                break;
            case 'E':
                obj->EndChange(false, param);
                break;
            case 'K':
                obj->BeginChange(true, param);
                break;
            case 'k':
                obj->EndChange(true, param);
                break;
            }
        }
        EXPECT_EQ(log.Codes(), c.events) << c.ops;
        EXPECT_EQ(obj->IsChanging(), c.changing) << c.ops;
        EXPECT_TRUE(LockIsFree(obj.get())) << c.ops;
        for (const auto& e : log.Entries)
            EXPECT_EQ(e.Sender, obj.get());
        while (obj->IsChanging())
            obj->EndChange();
    }
}

TEST(SChangeObject, KeptLockIsHeldUntilTheEnd)
{
    std::unique_ptr<TWidget> obj(TSObject::Create<TWidget>());
    obj->BeginChange(true, 0);
    std::atomic<bool> taken{false};
    std::thread t([&] {
        obj->Lock();
        taken = true;
        obj->Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(taken);
    obj->EndChange(true, 0);
    t.join();
    EXPECT_TRUE(taken);
}

TEST(SChangeObject, SaveRefusesWhileChanging)
{
    std::unique_ptr<TWidget> obj(TSObject::Create<TWidget>());
    obj->SetName("Cube");
    MemoryStream stream;
    for (int depth = 1; depth <= 2; ++depth) {
        obj->BeginChange();
        if (depth == 2)
            obj->BeginChange();
        try {
            obj->Save(&stream);
            ADD_FAILURE() << "saved while changing";
        } catch (const EInvalidOperation& e) {
            EXPECT_EQ(std::string(e.what()), ObjectCaption(obj.get()) + "\n\rCan't save : Busy");
        }
        EXPECT_EQ(stream.Pos, 0);
        EXPECT_TRUE(stream.Bytes.empty());
        while (obj->IsChanging())
            obj->EndChange();
    }

    char expected[64];
    std::snprintf(expected, sizeof expected, "Object [%016zX] ( Type - TWidget )",
                  reinterpret_cast<std::size_t>(obj.get()));
    EXPECT_EQ(ObjectCaption(obj.get()), expected);
}

TEST(SChangeObject, NameRoundTripWithoutEvents)
{
    std::unique_ptr<TWidget> obj(TSObject::Create<TWidget>());
    obj->SetName("Surface 1");
    MemoryStream stream;
    EXPECT_EQ(obj->Process(ocSave, reinterpret_cast<TSParam>(&stream)), 4 + 9);
    EXPECT_EQ(stream.Bytes.size(), 13u);

    EventLog log;
    std::unique_ptr<TWidget> back(TSObject::Create<TWidget>());
    back->Events.Add(log.Handler());
    stream.Pos = 0;
    EXPECT_EQ(back->Process(ocLoad, reinterpret_cast<TSParam>(&stream)), 13);
    EXPECT_EQ(back->Name(), "Surface 1");
    EXPECT_TRUE(log.Entries.empty());
}

TEST(SChangeObject, DefaultNamesCountProgramWide)
{
    std::unique_ptr<TWidget> a(TSObject::Create<TWidget>());
    std::unique_ptr<TSCustomChangeObject> b(TSObject::Create<TSCustomChangeObject>());
    EXPECT_EQ(a->Name().rfind("TWidget ", 0), 0u) << a->Name();
    EXPECT_EQ(b->Name().rfind("TSCustomChangeObject ", 0), 0u) << b->Name();
    EXPECT_EQ(NameNumber(b->Name()), NameNumber(a->Name()) + 1);

    // Objects made on several threads at once never share a number.
    constexpr int kThreads = 8, kEach = 500;
    std::vector<std::vector<std::uint64_t>> numbers(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&numbers, t] {
            for (int i = 0; i < kEach; ++i) {
                std::unique_ptr<TWidget> w(TSObject::Create<TWidget>());
                numbers[t].push_back(NameNumber(w->Name()));
            }
        });
    for (auto& t : threads)
        t.join();
    std::set<std::uint64_t> all;
    for (const auto& v : numbers)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), std::size_t{kThreads * kEach});
}

TEST(SChangeObject, NothingIsAnnouncedOnceDestroying)
{
    std::vector<std::pair<std::int32_t, TSParam>> seen;
    struct Meddler {
        std::vector<std::pair<std::int32_t, TSParam>>* seen;
        void On(TObject* sender, std::int32_t code, TSParam param)
        {
            seen->emplace_back(code, param);
            if (code == ecDestroying) {
                // Subscribers that touch a dying object hear nothing more.
                auto* o = static_cast<TSCustomChangeObject*>(sender);
                o->BeginChange(false, 1);
                o->SetName("late");
                o->EndChange(false, 2);
            }
        }
    } meddler{&seen};
    TWidget* obj = TSObject::Create<TWidget>();
    obj->Events.Add(TSEventHandler::Of<&Meddler::On>(&meddler));
    delete obj;
    EXPECT_EQ(seen, (Events{{ecDestroying, 0}}));
}
