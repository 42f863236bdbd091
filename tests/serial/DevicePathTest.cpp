#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/posix/DevicePath.h"

using platform::posix::resolveDevicePath;

TEST(DevicePath, MapsPortNamesToLinuxDevices) {
    ::unsetenv("CPORT_DEVICE_COM3");
    ::unsetenv("CPORT_DEVICE_ttyUSB0");
    struct Case {
        const char* path;
        const char* device;
    } cases[] = {
        {"\\\\.\\COM1", "/dev/ttyS0"},      {"\\\\.\\COM3", "/dev/ttyS2"},
        {"\\\\.\\COM12", "/dev/ttyS11"},    {"\\\\.\\/dev/pts/7", "/dev/pts/7"},
        {"\\\\.\\ttyUSB0", "/dev/ttyUSB0"}, {"\\\\.\\COM0", "/dev/COM0"},
        {"\\\\.\\com3", "/dev/com3"},       {"\\\\.\\COM3x", "/dev/COM3x"},
        {"/dev/ttyACM0", "/dev/ttyACM0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolveDevicePath(c.path), c.device) << c.path;
    }
}

TEST(DevicePath, EnvironmentPointsAPortNameElsewhere) {
    ::setenv("CPORT_DEVICE_COM3", "/dev/pts/42", 1);
    ::setenv("CPORT_DEVICE_ttyUSB0", "/dev/ttyUSB3", 1);
    EXPECT_EQ(resolveDevicePath("\\\\.\\COM3"), "/dev/pts/42");
    EXPECT_EQ(resolveDevicePath("\\\\.\\ttyUSB0"), "/dev/ttyUSB3");
    EXPECT_EQ(resolveDevicePath("\\\\.\\COM4"), "/dev/ttyS3");
    ::setenv("CPORT_DEVICE_COM3", "", 1);
    EXPECT_EQ(resolveDevicePath("\\\\.\\COM3"), "/dev/ttyS2");
    ::unsetenv("CPORT_DEVICE_COM3");
    ::unsetenv("CPORT_DEVICE_ttyUSB0");
}
