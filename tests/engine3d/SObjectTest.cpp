#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Records which operation Process reached and with what.
class TProbe : public TSObject {
    S_CLASS(TProbe)
public:
    std::vector<std::string> Calls;
    std::uint32_t FlagsInInitialize = 0;
    int Value = 0;
    TSParam LastArg = 0;
    void* LastData = nullptr;
    std::int32_t LastId = 0;

    void Initialize() override
    {
        TSObject::Initialize();
        FlagsInInitialize = Flags();
        Calls.push_back("Initialize");
    }
    std::int32_t BeginOperation(std::int32_t Op) override { return Record("Begin", Op, 11); }
    std::int32_t EndOperation(std::int32_t Op) override
    {
        LastFlags = Flags();
        return Record("End", Op, 12);
    }
    std::int32_t Save(TSObjectsStream* S) override { return Record("Save", reinterpret_cast<TSParam>(S), 13); }
    std::int32_t Load(TSObjectsStream* S) override { return Record("Load", reinterpret_cast<TSParam>(S), 14); }
    std::int32_t Link(TSObjectsStream* S) override { return Record("Link", reinterpret_cast<TSParam>(S), 15); }
    std::int32_t FindHolder(TSHolderQuery* Q, TObject** H) override
    {
        *H = this;
        return Record("FindHolder", reinterpret_cast<TSParam>(Q), 16);
    }
    std::int32_t SetParameter(std::int32_t Id, void* Data) override
    {
        LastId = Id;
        LastData = Data;
        return Record("Set", Id, 17);
    }
    std::int32_t GetParameter(std::int32_t Id, void* Data) override
    {
        LastId = Id;
        LastData = Data;
        return Record("Get", Id, 18);
    }
    void Assign(TPersistent* Source) override
    {
        if (auto* p = dynamic_cast<TProbe*>(Source))
            Value = p->Value;
        else
            TSObject::Assign(Source);
    }
    std::uint32_t LastFlags = 0;

private:
    std::int32_t Record(const char* what, TSParam arg, std::int32_t result)
    {
        Calls.push_back(what);
        LastArg = arg;
        return result;
    }
};
constinit const TSClassInfo TProbe::ClassInfo{"TProbe", &TSObject::ClassInfo, &TSNewObject<TProbe>};

// Counts live instances; knows no Assign; may fail in Initialize.
class TCounted final : public TSObject {
    S_CLASS(TCounted)
public:
    static inline int Live = 0;
    static inline bool FailInitialize = false;
    TCounted() { ++Live; }
    ~TCounted() override { --Live; }
    void Initialize() override
    {
        TSObject::Initialize();
        if (FailInitialize)
            throw EInvalidOperation("no");
    }
};
constinit const TSClassInfo TCounted::ClassInfo{"TCounted", &TSObject::ClassInfo, &TSNewObject<TCounted>};

// A change object whose subclass announces its end; the handler looks at it.
class TNamed final : public TSCustomChangeObject {
    S_CLASS(TNamed)
public:
    int Payload = 42;
};
constinit const TSClassInfo TNamed::ClassInfo{"TNamed", &TSCustomChangeObject::ClassInfo, &TSNewObject<TNamed>};

}  // namespace

TEST(SObject, ClassAncestry)
{
    struct Case {
        TSClass cls, ancestor;
        bool expected;
    };
    const Case cases[] = {
        {&TSCustomChangeObject::ClassInfo, &TSObject::ClassInfo, true},
        {&TSCustomChangeObject::ClassInfo, &TPersistent::ClassInfo, true},
        {&TSCustomChangeObject::ClassInfo, &TObject::ClassInfo, true},
        {&TSCustomChangeObject::ClassInfo, &TSCustomChangeObject::ClassInfo, true},
        {&TSObject::ClassInfo, &TSCustomChangeObject::ClassInfo, false},
        {&TSBranch::ClassInfo, &TSCustomChangeObject::ClassInfo, false},
        {&TSObjectsStream::ClassInfo, &TSObject::ClassInfo, false},
        {&TSObjectsList::ClassInfo, &TObject::ClassInfo, true},
        {&TSObject::ClassInfo, nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.cls->InheritsFrom(c.ancestor), c.expected)
            << c.cls->Name << " < " << (c.ancestor ? c.ancestor->Name : "nil");

    // The chain of parents spells the whole ancestry up to the library's root.
    std::string path;
    for (TSClass c = &TSCustomChangeObject::ClassInfo; c; c = c->Parent)
        path = std::string(c->Name) + (path.empty() ? "" : "/") + path;
    EXPECT_EQ(path, "TObject/TPersistent/TSObject/TSCustomChangeObject");
}

TEST(SObject, CreateRunsInitializeWhileConstructing)
{
    TSObject owner_;
    std::unique_ptr<TProbe> p(TSObject::Create<TProbe>(&owner_));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Owner(), &owner_);
    EXPECT_EQ(p->FlagsInInitialize, std::uint32_t{ofConstructing});
    EXPECT_EQ(p->Flags(), 0u);
    EXPECT_STREQ(p->ClassName(), "TProbe");
    EXPECT_EQ(p->Calls, std::vector<std::string>{"Initialize"});

    // By class reference, as the registry and the project file create objects.
    std::unique_ptr<TSObject> q(TSObject::Create(&TProbe::ClassInfo, nullptr));
    EXPECT_EQ(q->ClassType(), &TProbe::ClassInfo);
    EXPECT_EQ(TSObject::Create(&TSObjectsStream::ClassInfo, nullptr), nullptr);
    EXPECT_EQ(TSObject::Create(nullptr, nullptr), nullptr);
}

TEST(SObject, FailedInitializeLeavesNothingBehind)
{
    TCounted::FailInitialize = true;
    EXPECT_THROW(TSObject::Create<TCounted>(), EInvalidOperation);
    TCounted::FailInitialize = false;
    EXPECT_EQ(TCounted::Live, 0);
}

TEST(SObject, ProcessDispatch)
{
    MemoryStream stream;
    TSHolderQuery query;
    int payload = 0;
    TSParameterRecord record{77, &payload};
    const auto streamArg = reinterpret_cast<TSParam>(&stream);

    struct Case {
        std::int32_t code;
        TSParam param;
        std::uint32_t flagsBefore;
        std::int32_t result;
        std::uint32_t flagsAfter;
        const char* call;  // nullptr: nothing called
    };
    const Case cases[] = {
        {ocBeginOperation, ocSave, 0, 11, ofSaving, "Begin"},
        {ocBeginOperation, ocLoad, 0, 11, ofLoading, "Begin"},
        {ocBeginOperation, 5, 0, 11, 0, "Begin"},
        {ocEndOperation, ocSave, ofSaving | ofLoading, 12, ofLoading, "End"},
        {ocEndOperation, ocLoad, ofSaving | ofLoading, 12, ofSaving, "End"},
        {ocSave, streamArg, 0, 13, 0, "Save"},
        {ocLoad, streamArg, 0, 14, 0, "Load"},
        {ocLink, streamArg, 0, 15, 0, "Link"},
        {ocFindHolder, reinterpret_cast<TSParam>(&query), 0, 16, 0, "FindHolder"},
        {ocFindHolder, 0, 0, -1, 0, nullptr},
        {ocSetParameter, reinterpret_cast<TSParam>(&record), 0, 17, 0, "Set"},
        {ocGetParameter, reinterpret_cast<TSParam>(&record), 0, 18, 0, "Get"},
        {ocSetParameter, 0, 0, -1, 0, nullptr},
        {0, 0, 0, -1, 0, nullptr},
        {9, 0, 0, -1, 0, nullptr},
        {4095, 0, 0, -1, 0, nullptr},
        {ocClassCodes, 0, 0, -1, 0, nullptr},
    };
    for (const auto& c : cases) {
        std::unique_ptr<TProbe> p(TSObject::Create<TProbe>());
        if (c.flagsBefore & ofSaving)
            p->Process(ocBeginOperation, ocSave);
        if (c.flagsBefore & ofLoading)
            p->Process(ocBeginOperation, ocLoad);
        p->Calls.clear();
        EXPECT_EQ(p->Process(c.code, c.param), c.result) << c.code;
        EXPECT_EQ(p->Flags(), c.flagsAfter) << c.code;
        if (c.call) {
            EXPECT_EQ(p->Calls, std::vector<std::string>{c.call}) << c.code;
        } else {
            EXPECT_TRUE(p->Calls.empty()) << c.code;
        }
        if (c.code == ocEndOperation) {
            // The flag is cleared only after EndOperation has run.
            EXPECT_EQ(p->LastFlags, c.flagsBefore);
        }
    }

    // Parameters reach the operation as Id and the address of the data.
    std::unique_ptr<TProbe> p(TSObject::Create<TProbe>());
    p->Process(ocSetParameter, reinterpret_cast<TSParam>(&record));
    EXPECT_EQ(p->LastId, 77);
    EXPECT_EQ(p->LastData, &payload);
    p->Process(ocFindHolder, reinterpret_cast<TSParam>(&query));
    EXPECT_EQ(query.Holder, p.get());

    // The base class answers "not handled" everywhere.
    std::unique_ptr<TSObject> plain(TSObject::Create<TSObject>());
    for (std::int32_t code = 1; code <= 8; ++code)
        EXPECT_EQ(plain->Process(code, code == 6 ? reinterpret_cast<TSParam>(&query) : 0), -1) << code;
}

TEST(SObject, CloneCopiesThroughAssign)
{
    TSObject owner_;
    std::unique_ptr<TProbe> p(TSObject::Create<TProbe>());
    p->Value = 9;
    std::unique_ptr<TSObject> c(p->Clone(&owner_));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->ClassType(), &TProbe::ClassInfo);
    EXPECT_EQ(c->Owner(), &owner_);
    EXPECT_EQ(static_cast<TProbe*>(c.get())->Value, 9);
    EXPECT_EQ(static_cast<TProbe*>(c.get())->Calls, std::vector<std::string>{"Initialize"});

    // A class that cannot copy its own kind fails and leaves no half-made copy.
    std::unique_ptr<TCounted> n(TSObject::Create<TCounted>());
    EXPECT_THROW(n->Clone(nullptr), EAssignError);
    EXPECT_EQ(TCounted::Live, 1);
}

TEST(SObject, DestructionAnnouncesWithTheWholeObject)
{
    EventLog log;
    std::string seenClass, seenName;
    bool seenDestroying = false;
    int seenPayload = 0;
    struct Peek {
        std::string* cls;
        std::string* name;
        bool* destroying;
        int* payload;
        void On(TObject* sender, std::int32_t code, TSParam)
        {
            if (code != ecDestroying)
                return;
            auto* o = static_cast<TNamed*>(sender);
            *cls = o->ClassName();
            *name = o->Name();
            *destroying = o->IsDestroying();
            *payload = o->Payload;
        }
    } peek{&seenClass, &seenName, &seenDestroying, &seenPayload};

    TSCustomChangeObject* obj = TSObject::Create<TNamed>();
    obj->SetName("gone");
    obj->Events.Add(log.Handler());
    obj->Events.Add(TSEventHandler::Of<&Peek::On>(&peek));
    log.Entries.clear();
    delete obj;  // through the base class
    EXPECT_EQ(seenClass, "TNamed");
    EXPECT_EQ(seenName, "gone");
    EXPECT_TRUE(seenDestroying);
    EXPECT_EQ(seenPayload, 42);
    // Announced once although every destructor of the chain finalizes.
    EXPECT_EQ(log.Codes(), (std::vector<std::pair<std::int32_t, TSParam>>{{ecDestroying, 0}}));
}
