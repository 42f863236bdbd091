// Numbered handles for the POSIX stand-ins of the platform's kernel objects (signals and
// serial devices): a stale or foreign handle is refused instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform::posix {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

class HandleTable {
public:
    std::uintptr_t insert(std::shared_ptr<KernelObject> object);
    std::shared_ptr<KernelObject> remove(std::uintptr_t handle);

    template <typename T>
    std::shared_ptr<T> find(std::uintptr_t handle) {
        return std::dynamic_pointer_cast<T>(findObject(handle));
    }

private:
    std::shared_ptr<KernelObject> findObject(std::uintptr_t handle);

    std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> m_objects;
    std::uintptr_t m_next = 0x100;
};

HandleTable& handles();

}  // namespace platform::posix
