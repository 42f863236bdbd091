#include <cerrno>

#include "platform/LastError.h"
#include "platform/SerialApi.h"
#include "platform/posix/DevicePath.h"
#include "platform/posix/HandleTable.h"
#include "platform/posix/PosixDevice.h"

namespace platform {

namespace {

using posix::handles;
using posix::PosixDevice;

class PosixSerialApi final : public SerialApi {
public:
    DeviceHandle open(const std::string& path) override {
        int error = 0;
        auto device = PosixDevice::open(posix::resolveDevicePath(path), error);
        if (!device) {
            setLastError(error);
            return kInvalidDevice;
        }
        return handles().insert(std::move(device));
    }

    bool setupQueues(DeviceHandle device, std::uint32_t inputSize,
                     std::uint32_t outputSize) override {
        return withDevice(device,
                          [&](PosixDevice& d) { return d.setupQueues(inputSize, outputSize); });
    }

    bool setLineSettings(DeviceHandle device, const Dcb& dcb) override {
        return withDevice(device, [&](PosixDevice& d) { return d.setLineSettings(dcb); });
    }

    bool setTimeouts(DeviceHandle device, const CommTimeouts& timeouts) override {
        return withDevice(device, [&](PosixDevice& d) {
            d.setTimeouts(timeouts);
            return 0;
        });
    }

    bool setEventMask(DeviceHandle device, std::uint32_t mask) override {
        return withDevice(device, [&](PosixDevice& d) {
            d.setEventMask(mask);
            return 0;
        });
    }

    bool startEventWait(DeviceHandle device, std::uint32_t* mask, Overlapped* overlapped) override {
        bool completed = false;
        if (!withDevice(device, [&](PosixDevice& d) {
                return d.startEventWait(mask, overlapped, completed);
            })) {
            return false;
        }
        return pendingUnless(completed);
    }

    bool queryStatus(DeviceHandle device, std::uint32_t* errors, ComStat* stat) override {
        return withDevice(device, [&](PosixDevice& d) { return d.queryStatus(errors, stat); });
    }

    bool modemStatus(DeviceHandle device, std::uint32_t* status) override {
        return withDevice(device, [&](PosixDevice& d) { return d.modemStatus(status); });
    }

    bool startRead(DeviceHandle device, void* buffer, std::uint32_t count, std::uint32_t* read,
                   Overlapped* overlapped) override {
        bool completed = false;
        if (!withDevice(device, [&](PosixDevice& d) {
                return d.startRead(buffer, count, read, overlapped, completed);
            })) {
            return false;
        }
        return pendingUnless(completed);
    }

    bool transferResult(DeviceHandle device, Overlapped* overlapped, std::uint32_t* transferred,
                        bool wait) override {
        return withDevice(device, [&](PosixDevice& d) {
            return d.transferResult(overlapped, transferred, wait);
        });
    }

    bool purge(DeviceHandle device, std::uint32_t flags) override {
        return withDevice(device, [&](PosixDevice& d) { return d.purge(flags); });
    }

    bool close(DeviceHandle device) override {
        auto object = handles().find<PosixDevice>(device);
        if (!object) {
            setLastError(kErrorInvalidHandle);
            return false;
        }
        handles().remove(device);
        object->close();
        return true;
    }

private:
    template <typename Operation>
    static bool withDevice(DeviceHandle handle, Operation&& operation) {
        auto device = handles().find<PosixDevice>(handle);
        if (!device) {
            setLastError(kErrorInvalidHandle);
            return false;
        }
        if (int error = operation(*device)) {
            setLastError(error);
            return false;
        }
        return true;
    }

    static bool pendingUnless(bool completed) {
        if (!completed) {
            setLastError(kErrorIoPending);
        }
        return completed;
    }
};

}  // namespace

SerialApi& systemSerialApi() {
    static PosixSerialApi api;
    return api;
}

}  // namespace platform
