// SignallingHost and its CORVALA_SIGNALLING override.
#include "signalling/SignallingEndpoint.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace corvala;

namespace {

struct Case {
    const char* text;
    std::optional<SignallingEndpoint> expected;
};

class EndpointText : public ::testing::TestWithParam<Case> {};

TEST_P(EndpointText, Parses) {
    EXPECT_EQ(ParseSignallingEndpoint(QString::fromLatin1(GetParam().text)), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EndpointText,
    ::testing::Values(Case{"signal.example.org:9000", SignallingEndpoint{u"signal.example.org"_qs, 9000}},
                      Case{"127.0.0.1", SignallingEndpoint{u"127.0.0.1"_qs, 8996}},
                      Case{" localhost:1 ", SignallingEndpoint{u"localhost"_qs, 1}},
                      Case{"[::1]:8996", SignallingEndpoint{u"::1"_qs, 8996}},
                      Case{"[::1]", SignallingEndpoint{u"::1"_qs, 8996}},
                      Case{"::1", SignallingEndpoint{u"::1"_qs, 8996}},
                      Case{"", std::nullopt}, Case{":8996", std::nullopt}, Case{"host:0", std::nullopt},
                      Case{"host:65536", std::nullopt}, Case{"host:port", std::nullopt},
                      Case{"host:", std::nullopt}, Case{"[::1", std::nullopt}, Case{"[::1]x", std::nullopt}));

TEST(SignallingHost, EnvironmentOverridesTheBuildConstantOnlyWhenValid) {
    ::setenv("CORVALA_SIGNALLING", "example.org:1234", 1);
    EXPECT_EQ(SignallingHost(), (SignallingEndpoint{u"example.org"_qs, 1234}));
    ::setenv("CORVALA_SIGNALLING", "example.org:notaport", 1);
    const SignallingEndpoint fallback = SignallingHost();
    ::unsetenv("CORVALA_SIGNALLING");
    EXPECT_EQ(fallback, SignallingHost());
    EXPECT_FALSE(fallback.host.isEmpty());
}

}  // namespace
