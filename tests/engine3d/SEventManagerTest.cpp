#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

struct Counter {
    std::atomic<int> Calls{0};
    int Order = -1;
    std::vector<int>* Sequence = nullptr;
    int Id = 0;
    void On(TObject*, std::int32_t, TSParam)
    {
        ++Calls;
        if (Sequence)
            Sequence->push_back(Id);
    }
    void Throw(TObject*, std::int32_t, TSParam)
    {
        ++Calls;
        throw std::runtime_error("handler failed");
    }
    TSEventHandler Handler() { return TSEventHandler::Of<&Counter::On>(this); }
};

void PlainProc(void* data, TObject*, std::int32_t code, TSParam param)
{
    *static_cast<TSParam*>(data) += code * param;
}

}  // namespace

TEST(SEventManager, AddRemoveAndCallOrder)
{
    TSEventManager events;
    std::vector<int> sequence;
    Counter a{.Sequence = &sequence, .Id = 1};
    Counter b{.Sequence = &sequence, .Id = 2};

    events.Add(TSEventHandler{});  // no routine: ignored
    events.Add({nullptr, &a});
    EXPECT_EQ(events.Count(), 0);
    EXPECT_EQ(events.IndexOf(TSEventHandler{}), -1);

    events.Add(a.Handler());
    events.Add(b.Handler());
    events.Add(a.Handler());  // twice: called twice
    EXPECT_EQ(events.Count(), 3);
    EXPECT_EQ(events.IndexOf(a.Handler()), 0);
    EXPECT_EQ(events.IndexOf(b.Handler()), 1);
    events.Notify(nullptr, 8, 0);
    EXPECT_EQ(sequence, (std::vector<int>{1, 2, 1}));

    // Same routine, other subscriber: a different handler.
    Counter c;
    EXPECT_EQ(events.IndexOf(c.Handler()), -1);
    events.Remove(c.Handler());
    EXPECT_EQ(events.Count(), 3);

    events.Remove(a.Handler());  // the first registration goes
    EXPECT_EQ(events.Count(), 2);
    EXPECT_EQ(events.IndexOf(a.Handler()), 1);
    sequence.clear();
    events.Notify(nullptr, 8, 0);
    EXPECT_EQ(sequence, (std::vector<int>{2, 1}));

    events.Remove(TSEventHandler{});
    EXPECT_EQ(events.Count(), 2);

    events.SetDisabled(true);
    EXPECT_TRUE(events.IsDisabled());
    sequence.clear();
    events.Notify(nullptr, 8, 0);
    EXPECT_TRUE(sequence.empty());
    events.SetDisabled(false);
    events.Notify(nullptr, 8, 0);
    EXPECT_EQ(sequence.size(), 2u);
}

TEST(SEventManager, HandlersGetSenderCodeAndParam)
{
    TSEventManager events;
    EventLog log;
    TSParam sum = 0;
    events.Add(log.Handler());
    events.Add({&PlainProc, &sum});
    TObject sender;
    events.Notify(&sender, 4097, 3);
    ASSERT_EQ(log.Entries.size(), 1u);
    EXPECT_EQ(log.Entries[0], (EventLog::Entry{&sender, 4097, 3}));
    EXPECT_EQ(sum, 4097 * 3);
}

TEST(SEventManager, FailingHandlerDoesNotStopTheOthers)
{
    TSEventManager events;
    Counter before, failing, after;
    events.Add(before.Handler());
    events.Add(TSEventHandler::Of<&Counter::Throw>(&failing));
    events.Add(after.Handler());
    EXPECT_NO_THROW(events.Notify(nullptr, 8, 0));
    EXPECT_EQ(before.Calls, 1);
    EXPECT_EQ(failing.Calls, 1);
    EXPECT_EQ(after.Calls, 1);
}

TEST(SEventManager, ChangesDuringNotifyTakeEffectNextTime)
{
    TSEventManager events;
    Counter late;
    struct SelfRemover {
        TSEventManager* events;
        Counter* late;
        int calls = 0;
        void On(TObject*, std::int32_t, TSParam)
        {
            ++calls;
            events->Remove(TSEventHandler::Of<&SelfRemover::On>(this));
            events->Add(late->Handler());
        }
    } remover{&events, &late};
    events.Add(TSEventHandler::Of<&SelfRemover::On>(&remover));
    events.Notify(nullptr, 8, 0);
    EXPECT_EQ(remover.calls, 1);
    EXPECT_EQ(late.Calls, 0);
    events.Notify(nullptr, 8, 0);
    EXPECT_EQ(remover.calls, 1);
    EXPECT_EQ(late.Calls, 1);
}

TEST(SEventManager, AHandlerRemovedByAnEarlierOneIsNotCalled)
{
    TSEventManager events;
    Counter second;
    struct Remover {
        TSEventManager* events;
        Counter* second;
        void On(TObject*, std::int32_t, TSParam) { events->Remove(second->Handler()); }
    } remover{&events, &second};
    events.Add(TSEventHandler::Of<&Remover::On>(&remover));
    events.Add(second.Handler());
    events.Notify(nullptr, 8, 0);
    EXPECT_EQ(second.Calls, 0);
}

// Handlers come and go on other threads while events fire; run once under
// ThreadSanitizer as well.
TEST(SEventManager, HandlersAddedAndRemovedFromOtherThreadsWhileNotifying)
{
    TSEventManager events;
    Counter resident;
    events.Add(resident.Handler());
    std::atomic<bool> stop{false};

    std::vector<std::thread> notifiers;
    std::atomic<int> notifications{0};
    for (int i = 0; i < 2; ++i)
        notifiers.emplace_back([&] {
            while (!stop) {
                events.Notify(nullptr, 8, 0);
                ++notifications;
            }
        });

    constexpr int kRounds = 2000;
    std::vector<std::thread> churners;
    std::vector<Counter> subscribers(4);
    for (auto& s : subscribers)
        churners.emplace_back([&events, &s] {
            for (int r = 0; r < kRounds; ++r) {
                events.Add(s.Handler());
                events.Add(s.Handler());
                events.Remove(s.Handler());
                events.Remove(s.Handler());
            }
        });
    for (auto& t : churners)
        t.join();
    while (notifications < 100)
        std::this_thread::yield();
    stop = true;
    for (auto& t : notifiers)
        t.join();

    EXPECT_EQ(events.Count(), 1);
    EXPECT_EQ(events.IndexOf(resident.Handler()), 0);
    EXPECT_EQ(resident.Calls, notifications.load());
}
