#pragma once
// Lines a signalling client sends and the server's fixed answers, as the
// program's own wire helpers write them: shared by the crsignal tests.

#include "signalling/SignallingMessage.h"

#include <gtest/gtest.h>

#include <string>

namespace corvala::testing {

inline constexpr char kJoined[] =
    R"({"msg":"joined","from":"","to":"","type":"","payload":"","password":"","username":"","version":""})";
inline constexpr char kInvalidId[] =
    R"({"msg":"invalid_id","from":"","to":"","type":"","payload":"","password":"","username":"","version":""})";

inline std::string line(const QByteArray& bytes) { return bytes.toStdString(); }

inline Envelope parse(const std::string& text) {
    const auto o = ParseSignallingLine(QByteArray::fromStdString(text));
    EXPECT_TRUE(o) << text;
    return o ? Envelope::FromObject(*o) : Envelope{};
}

inline std::string joinLine(const std::string& id) {
    return line(GetMessage(QString::fromStdString(id), u"join"_qs, {}, {}, QString::fromStdString(id)));
}

inline std::string messageLine(const std::string& from, const std::string& to, const char* type = "init") {
    return line(GetMessage(QString::fromStdString(from), u"message"_qs, QString::fromStdString(to),
                           QString::fromLatin1(type), {}, u"secret"_qs, u"Name"_qs, u"42"_qs));
}

inline std::string getPublicTurn(const std::string& country, const std::string& type) {
    return line(GetMessage(QString(), u"getpublicturn"_qs, {}, QString::fromStdString(type),
                           QString::fromStdString(country)));
}

}  // namespace corvala::testing
