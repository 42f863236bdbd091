// GUI tests run on Qt's offscreen platform with the program's own application object.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "app/Translation.h"
#include "app/qt/Application.h"
#include "serial/ComError.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && std::strcmp(argv[1], "--print-cport-messages") == 0) {
        // A fresh process for the translation test: start-up as the program does it.
        TApplication app(argc, argv);
        InitTranslation(QCoreApplication::applicationDirPath().toStdString());
        InitializeCPortModule();
        std::printf("%s\n%s\n", EComPort(CError_OpenFailed, 2).what(),
                    EComPort(CError_ConnChangeProp).what());
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    InstallFrameworkTranslator();
    return RUN_ALL_TESTS();
}
