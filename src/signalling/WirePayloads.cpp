#include "signalling/WirePayloads.h"

#include "signalling/JsonEscape.h"
#include "signalling/SignallingMessage.h"

#include <QRect>

namespace corvala {
namespace {

std::u16string_view units(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

QString finish(JsonObjectWriter& w) {
    return QString::fromLatin1(w.take());
}

JsonObjectWriter& addNumberText(JsonObjectWriter& w, std::string_view key, long long value) {
    return w.add(key, std::to_string(value));
}

int numberMember(const QJsonObject& o, QStringView key) {
    return MemberText(o, key).toInt();
}

}  // namespace

QString IceServer::toJson() const {
    JsonObjectWriter w;
    w.add("ice_password", units(password)).add("ice_username", units(username)).add("ice_url", units(url));
    if (country) w.add("country", units(*country));
    return finish(w);
}

IceServer IceServer::FromObject(const QJsonObject& o) {
    IceServer s{MemberText(o, u"ice_password"), MemberText(o, u"ice_username"),
                MemberText(o, u"ice_url"), std::nullopt};
    if (o.contains(u"country")) s.country = MemberText(o, u"country");
    return s;
}

std::optional<IceServer> IceServer::FromJson(const QString& text) {
    const auto o = ParsePayloadObject(text);
    if (!o) return std::nullopt;
    return FromObject(*o);
}

QString SdpObject::toJson() const {
    JsonObjectWriter w;
    w.add("type", units(type)).add("sdp", units(sdp));
    return finish(w);
}

std::optional<SdpObject> SdpObject::FromJson(const QString& text) {
    const auto o = ParsePayloadObject(text);
    if (!o) return std::nullopt;
    return SdpObject{MemberText(*o, u"type"), MemberText(*o, u"sdp")};
}

QString CandidateObject::toJson() const {
    JsonObjectWriter w;
    w.addNumber("label", label).add("id", units(id)).add("candidate", units(candidate));
    return finish(w);
}

std::optional<CandidateObject> CandidateObject::FromJson(const QString& text) {
    const auto o = ParsePayloadObject(text);
    if (!o) return std::nullopt;
    // The label picks the media line the candidate belongs to: a value that
    // names none refuses the candidate instead of landing on line 0.
    int label = 0;
    if (o->contains(u"label")) {
        bool ok = false;
        label = MemberText(*o, u"label").toInt(&ok);
        if (!ok || label < 0) return std::nullopt;
    }
    return CandidateObject{label, MemberText(*o, u"id"), MemberText(*o, u"candidate")};
}

QString ErrorObject::toJson() const {
    JsonObjectWriter w;
    w.add("type", units(type)).add("payload", units(payload));
    return finish(w);
}

std::optional<ErrorObject> ErrorObject::FromJson(const QString& text) {
    const auto o = ParsePayloadObject(text);
    if (!o) return std::nullopt;
    return ErrorObject{MemberText(*o, u"type"), MemberText(*o, u"payload")};
}

QString SessionInfoPayload::toJson() const {
    JsonObjectWriter w;
    w.add("ice_password", units(ice.password))
        .add("ice_username", units(ice.username))
        .add("ice_url", units(ice.url));
    if (monitorCount) {
        addNumberText(w, "screen_monitorcount", *monitorCount);
        w.add("screen_monitorcoordinates", units(monitorCoordinates));
        addNumberText(w, "screen_primarymonitor", primaryMonitor);
        addNumberText(w, "screen_desktopleft", desktopLeft);
        addNumberText(w, "screen_desktoptop", desktopTop);
    }
    if (desktopWidth) addNumberText(w, "screen_desktopwidth", *desktopWidth);
    if (desktopHeight) addNumberText(w, "screen_desktopheight", *desktopHeight);
    w.add("hw_macaddress", units(macAddress));
    return finish(w);
}

SessionInfoPayload SessionInfoPayload::Make(const IceServer& ice, const QList<MonitorRect>& monitors,
                                            int primaryIndex, bool lockScreenMode,
                                            const QString& macAddress) {
    SessionInfoPayload p;
    p.ice = IceServer{ice.password, ice.username, ice.url, std::nullopt};
    p.macAddress = macAddress;
    if (lockScreenMode) return p;
    QRect desktop;
    for (const MonitorRect& m : monitors) desktop |= QRect(m.left, m.top, m.width, m.height);
    const auto count = monitors.size();
    if (count >= 2 && count <= 9) {
        p.monitorCount = static_cast<int>(count);
        p.monitorCoordinates = MonitorCoordinatesText(monitors);
        p.primaryMonitor = primaryIndex;
        p.desktopLeft = desktop.left();
        p.desktopTop = desktop.top();
    }
    p.desktopWidth = desktop.width();
    p.desktopHeight = desktop.height();
    return p;
}

QString MonitorCoordinatesText(const QList<MonitorRect>& monitors) {
    QString text;
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        const MonitorRect& m = monitors[i];
        const QString key = QStringLiteral("m") + QString::number(i);
        text += key + u'l' + QString::number(m.left) + key + u't' + QString::number(m.top) + key +
                u'w' + QString::number(m.width) + key + u'h' + QString::number(m.height);
    }
    return text + u'm';
}

std::optional<int> ReadMonitorCoordinate(const QString& text, int index, QChar letter) {
    const QString key = QStringLiteral("m") + QString::number(index) + letter;
    const auto at = text.indexOf(key);
    if (at < 0) return std::nullopt;
    const auto start = at + 3;
    auto end = text.indexOf(u'm', at + 1);
    if (end < 0) end = text.size();
    return end > start ? text.mid(start, end - start).toInt() : 0;
}

RemoteScreenLayout ReadSessionInfo(const QJsonObject& o) {
    RemoteScreenLayout layout;
    const int count = o.contains(u"screen_monitorcount") ? numberMember(o, u"screen_monitorcount") : 0;
    if (count < 2) {
        if (o.contains(u"screen_desktopwidth")) layout.desktopWidth = numberMember(o, u"screen_desktopwidth");
        if (o.contains(u"screen_desktopheight")) layout.desktopHeight = numberMember(o, u"screen_desktopheight");
        return layout;
    }
    const int primary = numberMember(o, u"screen_primarymonitor");
    layout.currentMonitor = primary;
    layout.desktopLeft = numberMember(o, u"screen_desktopleft");
    layout.desktopTop = numberMember(o, u"screen_desktoptop");
    layout.desktopWidth = numberMember(o, u"screen_desktopwidth");
    layout.desktopHeight = numberMember(o, u"screen_desktopheight");
    const QString coordinates = MemberText(o, u"screen_monitorcoordinates");
    // A count beyond the single-digit key form cannot be read back; cap it so
    // a hostile payload cannot make us allocate without bound.
    const int readable = std::min(count, 10);
    for (int i = 0; i < readable; ++i) {
        RemoteMonitor m;
        m.primary = (i == primary);
        m.rect.left = ReadMonitorCoordinate(coordinates, i, u'l').value_or(0);
        m.rect.top = ReadMonitorCoordinate(coordinates, i, u't').value_or(0);
        m.rect.width = ReadMonitorCoordinate(coordinates, i, u'w').value_or(0);
        m.rect.height = ReadMonitorCoordinate(coordinates, i, u'h').value_or(0);
        layout.monitors.append(m);
    }
    return layout;
}

}  // namespace corvala
