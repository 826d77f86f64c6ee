#include "devices/Subject.h"
#include "devices/NotifyRecord.h"
#include "devices/Observer.h"
#include "protocol/Data.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

std::string bytesOf(const Data& data) {
    Data copy(data);
    return std::string(reinterpret_cast<const char*>(copy.data()), copy.size());
}

// Records each update as "name:form:arguments" and runs an optional action
// from inside update(text).
class RecordingObserver : public Observer {
public:
    RecordingObserver(std::string name, Calls& calls) : name_(std::move(name)), calls_(calls) {}

    void update(uint32_t id, const std::string& text) override {
        record("id-text:" + std::to_string(id) + "," + text);
    }
    void update(uint32_t id, const Data& data) override {
        record("id-data:" + std::to_string(id) + "," + bytesOf(data));
    }
    void update(const NotifyRecord& r) override {
        record("record:" + std::to_string(r.value1) + "," + std::to_string(r.value2) + "," +
               std::to_string(r.value3) + "," + bytesOf(r.data));
    }
    void update(const std::string& text) override {
        record("text:" + text);
        if (onText) {
            onText();
        }
    }
    void update(const Data& data) override { record("data:" + bytesOf(data)); }

    std::function<void()> onText;

private:
    void record(const std::string& call) { calls_.push_back(name_ + ":" + call); }

    std::string name_;
    Calls& calls_;
};

std::string joined(const Calls& calls) {
    std::string text;
    for (const std::string& call : calls) {
        text += (text.empty() ? "" : " ") + call;
    }
    return text;
}

} // namespace

TEST(Subject, EachNotifyFormCallsItsUpdateFormOnEveryObserverInOrder) {
    const Data bytes(std::string("xy"));
    struct Case {
        const char* form;
        std::function<void(Subject&)> notify;
        const char* expected;
    };
    const Case cases[] = {
        {"text", [](Subject& s) { s.notify(std::string("<T>")); }, "a:text:<T> b:text:<T>"},
        {"id, text", [](Subject& s) { s.notify(4097u, std::string("<T>")); },
         "a:id-text:4097,<T> b:id-text:4097,<T>"},
        {"data", [&bytes](Subject& s) { s.notify(bytes); }, "a:data:xy b:data:xy"},
        {"id, data", [&bytes](Subject& s) { s.notify(7u, bytes); },
         "a:id-data:7,xy b:id-data:7,xy"},
        {"record", [&bytes](Subject& s) { s.notify(NotifyRecord(1, 2, 3, bytes)); },
         "a:record:1,2,3,xy b:record:1,2,3,xy"},
    };
    for (const Case& c : cases) {
        Calls calls;
        Subject subject;
        RecordingObserver a("a", calls), b("b", calls);
        subject.attach(&a);
        subject.attach(&b);
        c.notify(subject);
        EXPECT_EQ(c.expected, joined(calls)) << c.form;
    }
}

TEST(Subject, AttachmentsCountAndDetachRemovesOneOfThem) {
    Calls calls;
    Subject subject;
    RecordingObserver a("a", calls), b("b", calls), stranger("s", calls);
    subject.notify(std::string("none")); // nobody attached: nothing happens
    subject.attach(&a);
    subject.attach(&b);
    subject.attach(&a);
    subject.attach(nullptr);
    subject.notify(std::string("1"));
    EXPECT_EQ("a:text:1 b:text:1 a:text:1", joined(calls));

    calls.clear();
    subject.detach(&a);
    subject.detach(&stranger);
    subject.detach(nullptr);
    subject.notify(std::string("2"));
    EXPECT_EQ("b:text:2 a:text:2", joined(calls)) << "the first attachment went, order kept";
}

TEST(Subject, ObserversChangingTheListDuringAPass) {
    struct Case {
        const char* what;
        // What observer a does from inside its update, given the subject and
        // the observers b, c and a newcomer.
        std::function<void(Subject&, Observer& a, Observer& b, Observer& c, Observer& n)> action;
        const char* firstPass;
        const char* secondPass;
    };
    const Case cases[] = {
        {"detaches a later one",
         [](Subject& s, Observer&, Observer& b, Observer&, Observer&) { s.detach(&b); },
         "a:text:1 c:text:1", "a:text:2 c:text:2"},
        {"detaches itself",
         [](Subject& s, Observer& a, Observer&, Observer&, Observer&) { s.detach(&a); },
         "a:text:1 b:text:1 c:text:1", "b:text:2 c:text:2"},
        {"attaches a newcomer",
         [](Subject& s, Observer&, Observer&, Observer&, Observer& n) { s.attach(&n); },
         "a:text:1 b:text:1 c:text:1", "a:text:2 b:text:2 c:text:2 n:text:2"},
        {"detaches and re-attaches a later one",
         [](Subject& s, Observer&, Observer& b, Observer&, Observer&) {
             s.detach(&b);
             s.attach(&b);
         },
         "a:text:1 b:text:1 c:text:1", "a:text:2 c:text:2 b:text:2"},
        {"detaches everyone",
         [](Subject& s, Observer& a, Observer& b, Observer& c, Observer&) {
             s.detach(&a);
             s.detach(&b);
             s.detach(&c);
         },
         "a:text:1", ""},
    };
    for (const Case& c : cases) {
        Calls calls;
        Subject subject;
        RecordingObserver a("a", calls), b("b", calls), cObserver("c", calls), n("n", calls);
        bool done = false;
        a.onText = [&] {
            if (!done) {
                done = true;
                c.action(subject, a, b, cObserver, n);
            }
        };
        subject.attach(&a);
        subject.attach(&b);
        subject.attach(&cObserver);
        subject.notify(std::string("1"));
        EXPECT_EQ(c.firstPass, joined(calls)) << c.what;
        calls.clear();
        subject.notify(std::string("2"));
        EXPECT_EQ(c.secondPass, joined(calls)) << c.what;
    }
}

TEST(Subject, AnObserverDeletedDuringThePassIsNotCalled) {
    Calls calls;
    Subject subject;
    RecordingObserver a("a", calls), c("c", calls);
    auto* doomed = new RecordingObserver("b", calls);
    a.onText = [&] {
        subject.detach(doomed);
        delete doomed;
        doomed = nullptr;
    };
    subject.attach(&a);
    subject.attach(doomed);
    subject.attach(&c);
    subject.notify(std::string("1"));
    EXPECT_EQ("a:text:1 c:text:1", joined(calls));
}

TEST(Subject, ThrowingObserversDoNotKeepTheNotificationFromTheOthers) {
    Calls calls;
    Subject subject;
    RecordingObserver module("w32", calls), standard("std", calls), text("txt", calls),
        last("last", calls);
    module.onText = [] { throw Win32Exception("update failed", 31, "", 0); };
    standard.onText = [] { throw std::runtime_error("update failed"); };
    text.onText = [] { throw "update failed"; };
    subject.attach(&module);
    subject.attach(&standard);
    subject.attach(&text);
    subject.attach(&last);
    EXPECT_NO_THROW(subject.notify(std::string("1")));
    EXPECT_EQ("w32:text:1 std:text:1 txt:text:1 last:text:1", joined(calls));

    calls.clear();
    subject.notify(std::string("2"));
    EXPECT_EQ("w32:text:2 std:text:2 txt:text:2 last:text:2", joined(calls))
        << "a throwing observer stays attached";
}

TEST(Subject, ConcurrentAttachAndDetachNeitherLoseNorRepeatAStableObserver) {
    class Counter : public Observer {
    public:
        void update(const std::string&) override { ++count; }
        std::atomic<int> count{0};
    };
    Subject subject;
    Counter stable, churn;
    subject.attach(&stable);
    const int passes = 2000;
    std::atomic<bool> stop{false};
    std::thread churner([&] {
        while (!stop.load()) {
            subject.attach(&churn);
            subject.detach(&churn);
        }
    });
    std::thread notifier([&] {
        for (int i = 0; i < passes; ++i) {
            subject.notify(std::string("x"));
        }
    });
    notifier.join();
    stop = true;
    churner.join();
    EXPECT_EQ(passes, stable.count.load());
    EXPECT_LE(churn.count.load(), passes);
}

namespace {

// A subject whose detach fails while told to, as a subject over a broken
// platform object would.
class FailingSubject : public Subject {
public:
    void detach(Observer* observer) override {
        ++detachCalls;
        if (failing) {
            throw Win32Exception("detach failed", 6, "", 0);
        }
        Subject::detach(observer);
    }
    bool failing = false;
    int detachCalls = 0;
};

} // namespace

TEST(Observer, DetachFromAllLeavesEverySubject) {
    Calls calls;
    Subject first, second;
    RecordingObserver observer("o", calls);
    observer.attachTo(&first);
    observer.attachTo(&second);
    observer.attachTo(nullptr);
    first.notify(std::string("1"));
    second.notify(std::string("2"));
    EXPECT_EQ("o:text:1 o:text:2", joined(calls));

    observer.detachFromAll();
    observer.detachFromAll();
    calls.clear();
    first.notify(std::string("1"));
    second.notify(std::string("2"));
    EXPECT_EQ("", joined(calls));
}

TEST(Observer, AFailingDetachStopsTheWalkKeepsTheListAndDoesNotThrow) {
    Calls calls;
    Subject before, after;
    FailingSubject failing;
    RecordingObserver observer("o", calls);
    observer.attachTo(&before);
    observer.attachTo(&failing);
    observer.attachTo(&after);

    failing.failing = true;
    EXPECT_NO_THROW(observer.detachFromAll());
    EXPECT_EQ(1, failing.detachCalls);
    after.notify(std::string("still"));
    EXPECT_EQ("o:text:still", joined(calls)) << "the walk stopped at the failing subject";

    // The list was kept, so a later walk reaches every subject again.
    failing.failing = false;
    observer.detachFromAll();
    EXPECT_EQ(2, failing.detachCalls);
    calls.clear();
    before.notify(std::string("1"));
    failing.notify(std::string("2"));
    after.notify(std::string("3"));
    EXPECT_EQ("", joined(calls));
}
