#include "platform/linux/sync.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr long kNanosPerMs = 1000000;
constexpr long kNanosPerSecond = 1000000000;

timespec addMs(timespec at, long long ms) {
    at.tv_sec += static_cast<time_t>(ms / 1000);
    at.tv_nsec += static_cast<long>(ms % 1000) * kNanosPerMs;
    if (at.tv_nsec >= kNanosPerSecond) {
        at.tv_sec += 1;
        at.tv_nsec -= kNanosPerSecond;
    }
    return at;
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

timespec monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

Deadline::Deadline(DWORD milliseconds) : infinite_(milliseconds == INFINITE) {
    if (!infinite_) {
        when_ = addMs(monotonicNow(), milliseconds);
    }
}

bool Deadline::expired() const {
    return !infinite_ && !before(monotonicNow(), when_);
}

timespec Deadline::wallClockSliceEnd(long sliceMs) const {
    long long slice = sliceMs;
    if (!infinite_) {
        slice = std::min<long long>(slice, remainingMs());
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return addMs(now, slice);
}

int Deadline::remainingMs() const {
    if (infinite_) {
        return -1;
    }
    timespec now = monotonicNow();
    if (!before(now, when_)) {
        return 0;
    }
    long long nanos = (static_cast<long long>(when_.tv_sec) - now.tv_sec) * kNanosPerSecond +
                      (when_.tv_nsec - now.tv_nsec);
    return static_cast<int>((nanos + kNanosPerMs - 1) / kNanosPerMs);
}

Monitor::Monitor() {
    pthread_mutex_init(&mutex_, nullptr);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition_, &attributes);
    pthread_condattr_destroy(&attributes);
}

Monitor::~Monitor() {
    pthread_cond_destroy(&condition_);
    pthread_mutex_destroy(&mutex_);
}

void Monitor::lock() {
    pthread_mutex_lock(&mutex_);
}

void Monitor::unlock() {
    pthread_mutex_unlock(&mutex_);
}

bool Monitor::wait(const Deadline& deadline) {
    if (deadline.infinite()) {
        pthread_cond_wait(&condition_, &mutex_);
        return true;
    }
    return pthread_cond_timedwait(&condition_, &mutex_, &deadline.when()) != ETIMEDOUT;
}

void Monitor::notifyAll() {
    pthread_cond_broadcast(&condition_);
}

CancellationBlock::CancellationBlock() {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_);
}

CancellationBlock::~CancellationBlock() {
    pthread_setcancelstate(previous_, nullptr);
}

DWORD currentThreadId() {
    // The kernel's thread id: unique among the system's live threads, as
    // Windows thread ids are, and stable for the thread's life.
    thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

namespace {

// Abandons what a thread still owns when it ends, also for threads that the
// layer did not start.
struct OwnedMutexes {
    std::vector<std::shared_ptr<MutexObject>> mutexes;
    ~OwnedMutexes() { abandonAll(); }
    void abandonAll() {
        while (!mutexes.empty()) {
            std::shared_ptr<MutexObject> mutex = std::move(mutexes.back());
            mutexes.pop_back();
            mutex->abandon();
        }
    }
};

OwnedMutexes& ownedMutexes() {
    thread_local OwnedMutexes owned;
    return owned;
}

} // namespace

void noteOwned(const std::shared_ptr<MutexObject>& mutex) {
    ownedMutexes().mutexes.push_back(mutex);
}

void noteReleased(const MutexObject* mutex) {
    auto& mutexes = ownedMutexes().mutexes;
    auto it =
        std::find_if(mutexes.begin(), mutexes.end(),
                     [mutex](const std::shared_ptr<MutexObject>& m) { return m.get() == mutex; });
    if (it != mutexes.end()) {
        // Destroying the last reference may close a named mutex's mapping:
        // do it after the list is consistent again.
        std::shared_ptr<MutexObject> keep = std::move(*it);
        mutexes.erase(it);
    }
}

void abandonOwnedMutexes() {
    CancellationBlock block;
    ownedMutexes().abandonAll();
}

namespace {

struct Namespace {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<KernelObject>> objects;
};

Namespace& objectNamespace() {
    static Namespace* instance = new Namespace; // outlives threads still closing handles at exit
    return *instance;
}

} // namespace

std::shared_ptr<KernelObject>
openOrCreateNamed(const std::string& name, bool& existed,
                  const std::function<std::shared_ptr<KernelObject>()>& create) {
    Namespace& space = objectNamespace();
    std::lock_guard<std::mutex> guard(space.lock);
    for (auto it = space.objects.begin(); it != space.objects.end();) {
        it = it->second.expired() ? space.objects.erase(it) : std::next(it);
    }
    auto found = space.objects.find(name);
    if (found != space.objects.end()) {
        if (auto object = found->second.lock()) {
            existed = true;
            return object;
        }
    }
    existed = false;
    std::shared_ptr<KernelObject> object = create();
    if (object) {
        space.objects[name] = object;
    }
    return object;
}

bool normaliseObjectName(LPCSTR name, std::string& normalised) {
    normalised.clear();
    if (name == nullptr) {
        return true;
    }
    std::string text(name);
    for (const char* prefix : {"Global\\", "Local\\"}) {
        const std::string p(prefix);
        if (text.compare(0, p.size(), p) == 0) {
            text.erase(0, p.size());
            break;
        }
    }
    if (text.find('\\') != std::string::npos) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (text.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    normalised = text;
    return true;
}

} // namespace platform
