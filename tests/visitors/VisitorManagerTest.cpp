#include "visitors/VisitorManager.h"
#include "entry/TransportExports.h"
#include "visitors/Par1NullVisitor.h"
#include "visitors/Par1Visitor.h"
#include "visitors/Par1VisitorManager.h"
#include "visitors/UnsupportedVisitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

class GenericManager : public VisitorManager {};

class DeletionWitness : public Visitor {
public:
    explicit DeletionWitness(bool& deleted) : deleted_(deleted) {}
    ~DeletionWitness() override { deleted_ = true; }

private:
    bool& deleted_;
};

// A prototype as the named visitors are: registered under its name, cloned
// into fresh unnamed instances.
class TestPrototype : public Par1Visitor {
public:
    explicit TestPrototype(const std::string& name) { setName(name); }
    TestPrototype() = default;
    Visitor* clone() const override { return new TestPrototype; }
    int state = 0;
};

class UncloneablePrototype : public Par1Visitor {
public:
    UncloneablePrototype() { setName("uncloneable"); }
};

class Par1VisitorManagerTest : public ::testing::Test {
protected:
    void SetUp() override { Par1VisitorManager::destroyInstance(); }
    // Prototypes live on the test's stack: the manager must not outlive them.
    void TearDown() override { Par1VisitorManager::destroyInstance(); }

    std::unique_ptr<Visitor> get(const std::string& name) {
        return std::unique_ptr<Visitor>(Par1VisitorManager::getInstance()->getVisitor(name));
    }
};

} // namespace

TEST(VisitorManager, AnswersAnyNameWithAnUnsupportedVisitorAndDeletesWhatItIsGiven) {
    GenericManager manager;
    for (const char* name : {"startNpaModeVisitor", "", "anything"}) {
        Visitor* visitor = manager.getVisitor(name);
        EXPECT_NE(nullptr, dynamic_cast<UnsupportedVisitor*>(visitor)) << name;
        manager.releaseVisitor(visitor);
    }
    manager.releaseVisitor(nullptr);

    bool deleted = false;
    manager.releaseVisitor(new DeletionWitness(deleted));
    EXPECT_TRUE(deleted);
}

TEST_F(Par1VisitorManagerTest, UnknownAndEmptyNamesGiveFreshNullVisitors) {
    for (const char* name : {"escDataVisitor", "", "startNpaModeVisitor"}) {
        std::unique_ptr<Visitor> first = get(name);
        std::unique_ptr<Visitor> second = get(name);
        ASSERT_NE(nullptr, first);
        EXPECT_NE(nullptr, dynamic_cast<Par1NullVisitor*>(first.get())) << name;
        EXPECT_EQ(1u, first->error()) << name;
        EXPECT_EQ("", first->getName());
        EXPECT_NE(first.get(), second.get());
    }
}

TEST_F(Par1VisitorManagerTest, ClonesTheRegisteredPrototype) {
    TestPrototype prototype("testVisitor");
    prototype.state = 7;
    prototype.setError(99);
    Par1VisitorManager::getInstance()->registerVisitor(&prototype);

    std::unique_ptr<Visitor> first = get("testVisitor");
    std::unique_ptr<Visitor> second = get("testVisitor");
    auto* firstClone = dynamic_cast<TestPrototype*>(first.get());
    auto* secondClone = dynamic_cast<TestPrototype*>(second.get());
    ASSERT_NE(nullptr, firstClone);
    ASSERT_NE(nullptr, secondClone);
    EXPECT_NE(firstClone, secondClone);
    EXPECT_NE(&prototype, firstClone);
    EXPECT_NE(&prototype, secondClone);
    EXPECT_EQ(0, firstClone->state) << "a clone starts in the initial state";
    EXPECT_EQ(0u, firstClone->error());
    EXPECT_EQ("", firstClone->getName()) << "clones are unnamed";

    EXPECT_NE(nullptr, dynamic_cast<Par1NullVisitor*>(get("TESTVISITOR").get()))
        << "names are matched exactly";
}

TEST_F(Par1VisitorManagerTest, ALaterRegistrationReplacesAnEarlierOne) {
    class Other : public Par1Visitor {
    public:
        Other() { setName("testVisitor"); }
        Visitor* clone() const override { return new Other; }
    };
    TestPrototype first("testVisitor");
    Other second;
    Par1VisitorManager* manager = Par1VisitorManager::getInstance();
    manager->registerVisitor(&first);
    manager->registerVisitor(&second);
    EXPECT_NE(nullptr, dynamic_cast<Other*>(get("testVisitor").get()));
}

TEST_F(Par1VisitorManagerTest, RefusesWhatItCouldNotHandOutSafely) {
    Par1VisitorManager* manager = Par1VisitorManager::getInstance();
    UncloneablePrototype uncloneable;
    TestPrototype unnamed;
    manager->registerVisitor(&uncloneable);
    manager->registerVisitor(&unnamed);
    manager->registerVisitor(nullptr);

    // A prototype that cannot clone must not hand the host a null visitor.
    std::unique_ptr<Visitor> fromUncloneable = get("uncloneable");
    ASSERT_NE(nullptr, fromUncloneable);
    EXPECT_NE(nullptr, dynamic_cast<Par1NullVisitor*>(fromUncloneable.get()));
    // An unnamed prototype must not take the place of the null visitor.
    EXPECT_NE(nullptr, dynamic_cast<Par1NullVisitor*>(get("").get()));
}

TEST_F(Par1VisitorManagerTest, ReleasedVisitorsAreDeletedByTheManager) {
    Par1VisitorManager* manager = Par1VisitorManager::getInstance();
    bool deleted = false;
    manager->releaseVisitor(new DeletionWitness(deleted));
    EXPECT_TRUE(deleted);
    manager->releaseVisitor(nullptr);
    manager->releaseVisitor(manager->getVisitor("escDataVisitor"));
}

TEST_F(Par1VisitorManagerTest, IsOneObjectUntilDestroyedAndIsWhatTheModuleHandsOut) {
    Par1VisitorManager* manager = Par1VisitorManager::getInstance();
    ASSERT_NE(nullptr, manager);
    EXPECT_EQ(manager, Par1VisitorManager::getInstance());
    EXPECT_EQ(static_cast<VisitorManager*>(manager), TransportGetVisitorManager());

    TestPrototype prototype("testVisitor");
    manager->registerVisitor(&prototype);
    Par1VisitorManager::destroyInstance();
    Par1VisitorManager::destroyInstance();
    EXPECT_NE(nullptr, dynamic_cast<Par1NullVisitor*>(get("testVisitor").get()))
        << "a new manager starts without prototypes";
}

TEST_F(Par1VisitorManagerTest, ConcurrentFirstCallsMakeOneManager) {
    const int threads = 8;
    std::vector<Par1VisitorManager*> seen(threads, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> callers;
    for (int t = 0; t < threads; ++t) {
        callers.emplace_back([&, t] {
            while (!go.load()) {
                std::this_thread::yield();
            }
            seen[t] = Par1VisitorManager::getInstance();
        });
    }
    go = true;
    for (std::thread& caller : callers) {
        caller.join();
    }
    const std::set<Par1VisitorManager*> distinct(seen.begin(), seen.end());
    EXPECT_EQ(1u, distinct.size());
    EXPECT_NE(nullptr, *distinct.begin());
}
