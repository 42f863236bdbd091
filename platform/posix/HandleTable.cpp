#include "platform/posix/HandleTable.h"

namespace platform::posix {

std::uintptr_t HandleTable::insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard lock(m_mutex);
    // Handles are never reused within a process, so a stale one can only miss.
    const std::uintptr_t handle = m_next;
    m_next += 4;
    m_objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> HandleTable::remove(std::uintptr_t handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(handle);
    if (it == m_objects.end()) {
        return nullptr;
    }
    auto object = std::move(it->second);
    m_objects.erase(it);
    return object;
}

std::shared_ptr<KernelObject> HandleTable::findObject(std::uintptr_t handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_objects.find(handle);
    return it == m_objects.end() ? nullptr : it->second;
}

HandleTable& handles() {
    static HandleTable table;
    return table;
}

}  // namespace platform::posix
