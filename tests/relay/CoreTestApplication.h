#pragma once
// One QCoreApplication for a whole test program of the relay hosting (its
// timers, network access and processes need an event loop; no widget is
// made), created before the first test unless one exists.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>

namespace corvala::testsupport {

class CoreTestApplication : public ::testing::Environment {
public:
    void SetUp() override {
        if (!QCoreApplication::instance()) FApp = std::make_unique<QCoreApplication>(FArgc, FArgv);
    }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[8] = "corvala";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QCoreApplication> FApp;
};

inline const auto* const kCoreTestApplication = ::testing::AddGlobalTestEnvironment(new CoreTestApplication);

}  // namespace corvala::testsupport
