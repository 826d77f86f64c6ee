#include "platform/linux/handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace platform {

namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0;
};

HandleTable& table() {
    // Never destroyed: threads may still close handles while the process exits.
    static HandleTable* instance = new HandleTable;
    return *instance;
}

} // namespace

DWORD KernelObject::wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE addHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    // Handle values are multiples of 4, as on Windows; skip values in use
    // after the counter wraps.
    do {
        t.next += 4;
        if (t.next > 0x3FFFFFFCu) {
            t.next = 4;
        }
    } while (t.objects.count(t.next) != 0);
    t.objects.emplace(t.next, std::move(object));
    return reinterpret_cast<HANDLE>(t.next);
}

std::shared_ptr<KernelObject> findHandle(HANDLE handle) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

bool removeHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        HandleTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == t.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        object = std::move(it->second);
        t.objects.erase(it);
    }
    // The object is destroyed here, outside the table's lock.
    return true;
}

} // namespace platform
