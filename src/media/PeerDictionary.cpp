#include "media/PeerDictionary.h"

#include <mutex>

namespace corvala {

bool TPeerDictionary::Add(const QString& id, PeerPtr peer)
{
    std::unique_lock lock(mutex_);
    return peers_.emplace(id, std::move(peer)).second;
}

TPeerDictionary::PeerPtr TPeerDictionary::Remove(const QString& id, const TPeer* expected)
{
    std::unique_lock lock(mutex_);
    auto it = peers_.find(id);
    if (it == peers_.end() || (expected && it->second.get() != expected))
        return nullptr;
    PeerPtr peer = std::move(it->second);
    peers_.erase(it);
    return peer;
}

TPeerDictionary::PeerPtr TPeerDictionary::Find(const QString& id) const
{
    std::shared_lock lock(mutex_);
    auto it = peers_.find(id);
    return it == peers_.end() ? nullptr : it->second;
}

bool TPeerDictionary::Contains(const QString& id) const
{
    std::shared_lock lock(mutex_);
    return peers_.count(id) != 0;
}

int TPeerDictionary::Count() const
{
    std::shared_lock lock(mutex_);
    return static_cast<int>(peers_.size());
}

QStringList TPeerDictionary::Keys() const
{
    std::shared_lock lock(mutex_);
    QStringList keys;
    for (const auto& entry : peers_)
        keys << entry.first;
    return keys;
}

std::vector<TPeerDictionary::PeerPtr> TPeerDictionary::Values() const
{
    std::shared_lock lock(mutex_);
    std::vector<PeerPtr> values;
    values.reserve(peers_.size());
    for (const auto& entry : peers_)
        values.push_back(entry.second);
    return values;
}

void TPeerDictionary::Clear()
{
    std::map<QString, PeerPtr> dropped;
    {
        std::unique_lock lock(mutex_);
        dropped.swap(peers_);
    }
    // Peers are released outside the lock.
}

} // namespace corvala
