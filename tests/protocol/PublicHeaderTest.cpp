// Compiled as a host would compile against the public header: it comes first
// and alone, so it must stand on its own and must not bring in the platform
// or the module's own headers.
#include "par1/transport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <type_traits>

#ifdef ERROR_INVALID_FUNCTION
#error "the public header must not include the platform header"
#endif

namespace {

template <class T, class = void> struct IsComplete : std::false_type {};
template <class T> struct IsComplete<T, std::void_t<decltype(sizeof(T))>> : std::true_type {};

static_assert(!IsComplete<CriticalSection>::value,
              "the public header must not include the module's lock");
static_assert(std::has_virtual_destructor<Layer>::value &&
                  std::has_virtual_destructor<Visitor>::value &&
                  std::has_virtual_destructor<VisitorManager>::value &&
                  std::has_virtual_destructor<Subject>::value &&
                  std::has_virtual_destructor<Observer>::value,
              "hosts delete and derive through these classes");
static_assert(std::is_abstract<VisitorManager>::value, "only the module makes visitor managers");

class HostObserver : public Observer {
public:
    void update(const std::string& text) override { received += text; }
    std::string received;
};

} // namespace

TEST(PublicHeader, IsEnoughForAHostsObserver) {
    Subject discoverer;
    HostObserver observer;
    observer.attachTo(&discoverer);
    discoverer.notify(std::string("<Handle>4097</Handle>"));
    observer.detachFromAll();
    discoverer.notify(std::string("again"));
    EXPECT_EQ("<Handle>4097</Handle>", observer.received);
}

TEST(PublicHeader, AnObserverSurvivesASubjectWhoseDetachThrows) {
    class Refusing : public Subject {
    public:
        void detach(Observer* observer) override {
            if (refuse) {
                throw std::runtime_error("refused");
            }
            Subject::detach(observer);
        }
        bool refuse = true;
    };
    Refusing subject;
    HostObserver observer;
    observer.attachTo(&subject);
    EXPECT_NO_THROW(observer.detachFromAll());
    subject.notify(std::string("kept"));
    EXPECT_EQ("kept", observer.received) << "still attached";
    subject.refuse = false;
    observer.detachFromAll(); // the kept list reaches the subject again
    subject.notify(std::string("gone"));
    EXPECT_EQ("kept", observer.received);
}
