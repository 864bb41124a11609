#include "session/ConnectArguments.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace corvala {
namespace {

TEST(ConnectArguments, Parse) {
    struct Case {
        QStringList args;
        std::optional<ConnectOptions> expected;
    } cases[] = {
        {{"--connect", "123456789"}, ConnectOptions{"123456789", false}},
        {{"--password-stdin", "--CONNECT=Office (123)"}, ConnectOptions{"Office (123)", true}},
        {{"from_service", "--connect", " 123 ", "--Password-Stdin"}, ConnectOptions{"123", true}},
        // A password on the command line is refused; its value is not taken
        // for anything else.
        {{"--connect", "123456789", "--password", "pw 1"}, ConnectOptions{"123456789", false}},
        {{"--password=--connect", "--connect", "5"}, ConnectOptions{"5", false}},
        {{"--connect"}, std::nullopt},
        {{"--connect="}, std::nullopt},
        {{"--password", "pw"}, std::nullopt},
        {{"--connection", "123"}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(ParseConnectArguments(c.args), c.expected);
    }
}

TEST(ConnectArguments, PasswordFromStandardInput) {
    const std::string longest(MaxConnectPasswordBytes, 'x');
    struct Case {
        const char* name;
        std::string input;
        std::optional<QString> expected;
    } cases[] = {
        {"line feed", "pw 1\nnext line", QString("pw 1")},
        {"carriage return and line feed", "pw\r\n", QString("pw")},
        {"no line end", "pw", QString("pw")},
        {"nothing", "", QString()},
        {"UTF-8", "p\xC3\xA4ss\n", QString::fromUtf8("p\xC3\xA4ss")},
        {"at the limit", longest + "\r\n", QString::fromStdString(longest)},
        {"one byte over", longest + "x\n", std::nullopt},
        {"endless", std::string(1 << 20, 'y'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream in(c.input);
        EXPECT_EQ(ReadConnectPassword(in), c.expected);
    }
}

TEST(ConnectArguments, PasswordFromTheEnvironmentLeavesIt) {
    ::setenv(ConnectPasswordVariable, "s3cret pass", 1);
    EXPECT_EQ(TakeConnectPasswordFromEnvironment(), "s3cret pass");
    EXPECT_EQ(std::getenv(ConnectPasswordVariable), nullptr);
    EXPECT_EQ(TakeConnectPasswordFromEnvironment(), QString()) << "read once only";

    ::setenv(ConnectPasswordVariable, std::string(MaxConnectPasswordBytes + 1, 'z').c_str(), 1);
    EXPECT_EQ(TakeConnectPasswordFromEnvironment(), QString()) << "refused";
    EXPECT_EQ(std::getenv(ConnectPasswordVariable), nullptr) << "and gone all the same";
}

TEST(ConnectArguments, HandOverToTheRunningCopy) {
    const ConnectRequest request{"Ulla \"T\" (1A2B)", "p\\w\n"};
    EXPECT_EQ(DecodeConnectRequest(EncodeConnectRequest(request)), request);
    EXPECT_EQ(DecodeConnectRequest(EncodeConnectRequest(request) + "\n"), request);
    EXPECT_FALSE(DecodeConnectRequest("1111"));
    EXPECT_FALSE(DecodeConnectRequest("{\"password\":\"x\"}"));
    EXPECT_FALSE(DecodeConnectRequest("{\"connect\":5}"));
}

}  // namespace
}  // namespace corvala
