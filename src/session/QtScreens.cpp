#include "session/QtScreens.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace corvala {

LocalScreens ScreensFromQt() {
    LocalScreens result;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return result;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        const QScreen* s = screens[i];
        const qreal ratio = s->devicePixelRatio();
        const QRect g = s->geometry();
        auto px = [ratio](int v) { return int(std::lround(v * ratio)); };
        result.Monitors.append(MonitorRect{px(g.left()), px(g.top()), px(g.width()), px(g.height())});
        if (s == QGuiApplication::primaryScreen())
            result.PrimaryIndex = int(i);
    }
    return result;
}

QSize PrimaryScreenSize() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return {};
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

}  // namespace corvala
