#pragma once
// The component's peers keyed by device ID.
//
// The main thread adds and removes peers while the engine's threads look them
// up, so every operation takes a reader-writer lock for the map itself only
// (never while an event runs), and peers are shared pointers: a peer found by
// an engine thread stays a valid object even if the main thread removes it a
// moment later.

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <shared_mutex>
#include <vector>

namespace corvala {

class TPeer;

class TPeerDictionary {
public:
    using PeerPtr = std::shared_ptr<TPeer>;

    // False when the ID is already there (the dictionary is left unchanged).
    bool Add(const QString& id, PeerPtr peer);
    // The removed peer, or null when the ID was not there. With `expected`
    // set, the entry is only removed while it still holds that peer, so a
    // late removal cannot drop a newer peer of the same ID.
    PeerPtr Remove(const QString& id, const TPeer* expected = nullptr);
    PeerPtr Find(const QString& id) const;
    bool Contains(const QString& id) const;
    int Count() const;
    // Snapshots: safe to walk while peers come and go.
    QStringList Keys() const;
    std::vector<PeerPtr> Values() const;
    void Clear();

private:
    mutable std::shared_mutex mutex_;
    std::map<QString, PeerPtr> peers_;
};

} // namespace corvala
