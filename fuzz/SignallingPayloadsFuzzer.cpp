// The readers of what a peer puts on a signalling line: the envelope and the
// JSON objects carried in its payload (relay, description, candidate, error,
// session information with the monitor text).
//
// Properties: what was read is written back by the same program so that it
// reads the same again (envelopes and payload objects); a monitor list
// written as text reads back as written.
#include "FuzzSupport.h"
#include "signalling/SignallingMessage.h"
#include "signalling/WirePayloads.h"

#include <QJsonDocument>

namespace corvala {
namespace {

template <typename Payload>
void RoundTrip(const QString& text, const char* what) {
    const std::optional<Payload> read = Payload::FromJson(text);
    if (!read) return;
    const std::optional<Payload> again = Payload::FromJson(read->toJson());
    if (!again) fuzz::Fail(what);
    if (again->toJson() != read->toJson()) fuzz::Fail(what);
}

void EnvelopeRoundTrip(QByteArrayView line) {
    const std::optional<QJsonObject> object = ParseSignallingLine(line);
    if (!object) return;
    const Envelope read = Envelope::FromObject(*object);
    const std::optional<QJsonObject> again = ParseSignallingLine(read.toLine());
    if (!again) fuzz::Fail("an envelope written from a read one does not parse");
    const Envelope reread = Envelope::FromObject(*again);
    if (reread.toLine() != read.toLine()) fuzz::Fail("an envelope changes when written and read again");
    for (const char16_t* key : {u"msg", u"payload", u"label", u"version"}) MemberText(*object, key);
    if (const std::optional<QJsonObject> payload = ParsePayloadObject(read.payload)) ReadSessionInfo(*payload);
}

void MonitorTextRoundTrip(fuzz::InputReader& input) {
    QList<MonitorRect> monitors;
    const int count = input.Byte() % 11;
    for (int i = 0; i < count; ++i) {
        auto number = [&] {
            const std::uint32_t v =
                input.Byte() | input.Byte() << 8 | input.Byte() << 16 | std::uint32_t(input.Byte()) << 24;
            return static_cast<int>(v);
        };
        monitors.append({number(), number(), number(), number()});
    }
    const QString text = MonitorCoordinatesText(monitors);
    // Keys hold one digit: the first ten monitors can be read back.
    for (int i = 0; i < std::min<int>(int(monitors.size()), 10); ++i) {
        const MonitorRect& m = monitors[i];
        if (ReadMonitorCoordinate(text, i, u'l') != m.left || ReadMonitorCoordinate(text, i, u't') != m.top ||
            ReadMonitorCoordinate(text, i, u'w') != m.width || ReadMonitorCoordinate(text, i, u'h') != m.height)
            fuzz::Fail("a monitor list written as text reads back differently");
    }
}

}  // namespace
}  // namespace corvala

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvala;
    fuzz::InputReader input(data, size);
    const std::uint8_t choice = input.Byte();
    if (choice % 8 == 7) {
        MonitorTextRoundTrip(input);
        return 0;
    }
    const std::string_view rest = input.Rest();
    const QString text = QString::fromUtf8(rest.data(), qsizetype(rest.size()));
    switch (choice % 8) {
        case 0: EnvelopeRoundTrip(QByteArrayView(rest.data(), qsizetype(rest.size()))); break;
        case 1: RoundTrip<IceServer>(text, "relay object"); break;
        case 2: RoundTrip<SdpObject>(text, "session description object"); break;
        case 3: RoundTrip<CandidateObject>(text, "candidate object"); break;
        case 4: RoundTrip<ErrorObject>(text, "error object"); break;
        case 5:
            if (const std::optional<QJsonObject> payload = ParsePayloadObject(text)) ReadSessionInfo(*payload);
            break;
        case 6:
            for (int i = 0; i < 10; ++i)
                for (const QChar letter : {u'l', u't', u'w', u'h'}) ReadMonitorCoordinate(text, i, letter);
            break;
    }
    return 0;
}
