#include "session/AdmissionGate.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvala {
namespace {

constexpr qint64 kStart = 1'800'000'000'000;

// One message at the gate: the clock moves on by `advanceMs` first; nullptr
// as `expected` means admitted.
struct Step {
    qint64 advanceMs;
    const char* id;
    const char* password;
    const char* expected;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
};

constexpr char kRight[] = "Right-pw1";
constexpr char kWrong[] = "wrong";
constexpr char kInvalid[] = "invalid_password";

std::vector<Step> wrongTimes(int n, const char* id = "111") {
    return std::vector<Step>(n, Step{0, id, kWrong, kInvalid});
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class AdmissionGateTest : public ::testing::Test {
protected:
    qint64 now = kStart;
    TAdmissionGate gate{[this] { return now; }};
    AdmissionRules rules{false, {}, kRight};

    void run(const Scenario& s) {
        SCOPED_TRACE(s.name);
        for (size_t i = 0; i < s.steps.size(); ++i) {
            const Step& step = s.steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1));
            now += step.advanceMs;
            const auto verdict = gate.Check(step.id, step.password, rules);
            if (step.expected)
                EXPECT_EQ(verdict.value_or("<admitted>"), QString(step.expected));
            else
                EXPECT_FALSE(verdict.has_value()) << verdict->toStdString();
        }
    }
};

TEST_F(AdmissionGateTest, LockOutRules) {
    const std::vector<Scenario> scenarios = {
        {"five wrong, the sixth locks for 30 s, a right one within the wait is refused with the seconds left, "
         "after the wait it is admitted and the count starts again",
         wrongTimes(5) +
             std::vector<Step>{{0, "111", kWrong, "invalid_password_too_many_attempts_wait_30"},
                               {10'500, "111", kRight, "too_many_attempts_wait_19"},
                               {1'000, "111", kWrong, "too_many_attempts_wait_18"},  // not counted
                               {18'600, "111", kRight, nullptr}} +
             wrongTimes(5) + std::vector<Step>{{0, "111", kWrong, "invalid_password_too_many_attempts_wait_30"}}},
        {"after a passed lock-out one more wrong password locks for twice as long at once",
         wrongTimes(5) +
             std::vector<Step>{{0, "111", kWrong, "invalid_password_too_many_attempts_wait_30"},
                               {30'000, "111", kWrong, "invalid_password_too_many_attempts_wait_60"},
                               {60'000, "111", kWrong, "invalid_password_too_many_attempts_wait_120"}}},
        {"a right password before the sixth failure does not clear the count",
         wrongTimes(3) + std::vector<Step>{{0, "111", kRight, nullptr}} + wrongTimes(2) +
             std::vector<Step>{{0, "111", kWrong, "invalid_password_too_many_attempts_wait_30"}}},
        {"two IDs keep their own count and lock-out",
         wrongTimes(5, "111") +
             std::vector<Step>{{0, "111", kWrong, "invalid_password_too_many_attempts_wait_30"},
                               {0, "222", kRight, nullptr},
                               {0, "222", kWrong, kInvalid},
                               {0, "111", kRight, "too_many_attempts_wait_30"}}},
        {"the password is compared exactly, letter case included",
         {{0, "111", "right-pw1", kInvalid}, {0, "111", "Right-pw1 ", kInvalid}, {0, "111", kRight, nullptr}}},
    };
    for (const Scenario& s : scenarios) {
        gate = TAdmissionGate([this] { return now; });
        now = kStart;
        run(s);
    }
}

TEST_F(AdmissionGateTest, RightPasswordAfterTheWaitClearsTheRecord) {
    run({"", wrongTimes(5) + std::vector<Step>{{0, "111", kWrong, "invalid_password_too_many_attempts_wait_30"},
                                          {30'000, "111", kRight, nullptr}}});
    ASSERT_EQ(gate.FailedLogins().size(), 1);
    EXPECT_EQ(gate.FailedLogins()[0].PeerID, "111");
    EXPECT_EQ(gate.FailedLogins()[0].NumberOfFailedAttempts, 0);
    EXPECT_EQ(gate.FailedLogins()[0].SecondsToWaitUntilNextLogin, 30);
}

TEST_F(AdmissionGateTest, DoublingStopsAtOneDay) {
    run({"", wrongTimes(5)});
    QStringList waits;
    for (int i = 0; i < 14; ++i) {
        const auto verdict = gate.Check("111", kWrong, rules);
        ASSERT_TRUE(verdict);
        waits << verdict->section(u'_', -1);
        now += 86'400'000;  // always past the lock-out
    }
    EXPECT_EQ(waits.join(u' '), "30 60 120 240 480 960 1920 3840 7680 15360 30720 61440 86400 86400");
}

// Guessing spread over many IDs: each ID stays below its own lock-out, but
// the host counts them together. Once twenty wrong passwords fall within a
// minute, every check waits (the owner's right password too), the waits
// double up to five minutes, and a quiet host forgets the doubling.
TEST_F(AdmissionGateTest, FailuresSpreadOverManyIdsLockTheHost) {
    int invalid = 0, waiting = 0;
    for (int round = 0; round < 5; ++round)
        for (int id = 0; id < 200; ++id) {
            now += 10;
            const auto verdict = gate.Check(QString::number(100000 + id), kWrong, rules);
            ASSERT_TRUE(verdict);
            (*verdict == kInvalid ? invalid : waiting) += 1;
        }
    EXPECT_EQ(invalid, TAdmissionGate::HostWideFailures - 1) << "only the first guesses were even compared";
    EXPECT_EQ(waiting, 1000 - invalid);
    const auto owner = gate.Check("999999999", kRight, rules);
    ASSERT_TRUE(owner);
    EXPECT_TRUE(owner->startsWith("too_many_attempts_wait_"));

    // Each wave of guesses after a wait doubles it, up to five minutes.
    QStringList waits;
    for (int wave = 0; wave < 6; ++wave) {
        now = gate.HostWideWaitUntil();
        std::optional<QString> last;
        for (int i = 0; i < TAdmissionGate::HostWideFailures; ++i) last = gate.Check(QString::number(500 + i), kWrong, rules);
        waits << last->section(u'_', -1);
    }
    EXPECT_EQ(waits.join(u' '), "60 120 240 300 300 300");

    // The wait over and a quiet minute later, the owner comes in and the
    // doubling starts again from 30 seconds.
    now = gate.HostWideWaitUntil() + 61'000;
    EXPECT_FALSE(gate.Check("999999999", kRight, rules));
    std::optional<QString> last;
    for (int i = 0; i < TAdmissionGate::HostWideFailures; ++i) last = gate.Check(QString::number(700 + i), kWrong, rules);
    EXPECT_EQ(last.value_or(""), "invalid_password_too_many_attempts_wait_30");
}

TEST_F(AdmissionGateTest, FailureRecordsAreBoundedOldestFirst) {
    for (int id = 0; id <= TAdmissionGate::MaxRecords; ++id) {
        now += 61'000;  // slow enough never to lock the host
        gate.Check(QString::number(id), kWrong, rules);
    }
    const QList<TFailedLoginAttempts> records = gate.FailedLogins();
    ASSERT_EQ(records.size(), TAdmissionGate::MaxRecords);
    EXPECT_EQ(records.first().PeerID, "1") << "the oldest record made room";
    EXPECT_EQ(records.last().PeerID, QString::number(TAdmissionGate::MaxRecords));
}

TEST_F(AdmissionGateTest, WhiteList) {
    rules.WhiteListEnabled = true;
    rules.WhiteList = {};
    EXPECT_EQ(gate.Check("111", kRight, rules).value_or(""), "not_whitelisted");
    EXPECT_EQ(gate.Check("111", kWrong, rules).value_or(""), "not_whitelisted");
    EXPECT_TRUE(gate.FailedLogins().isEmpty()) << "refused before any password check";

    rules.WhiteList = {"abc123", "XYZ 9"};
    struct Case {
        const char* id;
        bool listed;
    } cases[] = {{"abc123", true}, {"ABC123", true}, {"xyz 9", true},   {"abc12", false},
                 {"abc1234", false}, {" abc123", false}, {"XYZ", false}, {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(IsWhiteListed(rules.WhiteList, c.id), c.listed);
        const auto verdict = gate.Check(c.id, kRight, rules);
        EXPECT_EQ(verdict.value_or("<admitted>"), c.listed ? "<admitted>" : "not_whitelisted");
    }

    rules.WhiteListEnabled = false;
    EXPECT_FALSE(gate.Check("999", kRight, rules)) << "a disabled list lets everyone through to the password";
}

TEST(AdmissionErrorWarning, SelectsTheWarningOnlyForTheCurrentAttempt) {
    const QString tooMany = "Too many failed attempts. Please try again in %1 seconds.";
    struct Case {
        const char* kind;
        const char* echoed;
        std::optional<QString> expected;
    } cases[] = {
        {"invalid_password", "pw", QString("Invalid password.")},
        {"invalid_password", "older", std::nullopt},
        {"invalid_password_too_many_attempts_wait_30", "pw", "Invalid password.\n\n" + tooMany.arg(30)},
        {"INVALID_PASSWORD_TOO_MANY_ATTEMPTS_WAIT_29", "pw", std::nullopt},  // "contains" is case-sensitive
        {"too_many_attempts_wait_17", "pw", tooMany.arg(17)},
        {"too_many_attempts_wait_17", "older", std::nullopt},
        {"not_whitelisted", "pw", QString("Your ID is not in the white list.")},
        {"not_whitelisted", "", std::nullopt},
        {"something_else", "pw", std::nullopt},
        {"", "pw", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(AdmissionErrorWarning(c.kind, c.echoed, "pw"), c.expected);
    }
}

}  // namespace
}  // namespace corvala
