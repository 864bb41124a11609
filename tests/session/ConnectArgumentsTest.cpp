#include "session/ConnectArguments.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace corvala {
namespace {

TEST(ConnectArguments, Parse) {
    struct Case {
        QStringList args;
        std::optional<ConnectRequest> expected;
    } cases[] = {
        {{"--connect", "123456789", "--password", "pw 1"}, ConnectRequest{"123456789", "pw 1"}},
        {{"--password=pw", "--CONNECT=Office (123)"}, ConnectRequest{"Office (123)", "pw"}},
        {{"--connect", "123"}, ConnectRequest{"123", ""}},
        {{"from_service", "--connect", " 123 "}, ConnectRequest{"123", ""}},
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
