#include <gtest/gtest.h>

#include "serial/CPort.h"

TEST(ComErrors, MessageTableIsTheEnglishOneWithoutCatalogue) {
    const auto& table = ComErrorMessages();
    EXPECT_EQ(table[0], "Unable to open com port");
    EXPECT_EQ(table[13], "Cannot set property while connected");
    EXPECT_EQ(table[17], "Link (un)registration failed");
    EXPECT_EQ(table[18], "Cannot change led state if ComPort is selected");
    EXPECT_EQ(table[22], "Registry error");
}

TEST(ComErrors, CodeAloneCarriesNoPlatformError) {
    const EComPort e(CError_ConnChangeProp);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(e.SystemError(), -1);
    EXPECT_EQ(e.ErrorNumber(), 14);
}

TEST(ComErrors, PlatformErrorIsAppendedAsDecimal) {
    const EComPort e(CError_OpenFailed, 2);
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(e.SystemError(), 2);
    EXPECT_EQ(e.ErrorNumber(), 1);
    EXPECT_STREQ(EComPort(CError_ReadFailed, -5).what(),
                 "ReadFile function failed (win error code: -5)");
}

TEST(ComErrors, IsTheProgramsBaseException) {
    try {
        throw EComPort(CError_RegFailed);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Link (un)registration failed");
    }
}
