#pragma once
// One QApplication for a whole test program (offscreen in the tests'
// environment), made before the first test and gone before the process ends.
// A test file that needs widgets includes this header once.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace corvala::testsupport {

class QtTestApplication : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QApplication::instance()) FApp = std::make_unique<QApplication>(FArgc, FArgv);
    }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[8] = "corvala";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApp;
};

inline const auto* const kQtTestApplication = ::testing::AddGlobalTestEnvironment(new QtTestApplication);

}  // namespace corvala::testsupport
