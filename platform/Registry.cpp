#include "platform/Registry.h"

QString TMemoryRegistry::Normal(const QString& key)
{
    QString k = key.toLower();
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    while (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    return k;
}

void TMemoryRegistry::SetValue(const QString& key, const QString& name, const QString& data)
{
    FKeys[Normal(key)].insert(name.toLower(), data);
}

void TMemoryRegistry::AddKey(const QString& key)
{
    FKeys[Normal(key)];
}

bool TMemoryRegistry::HasValue(const QString& key, const QString& name) const
{
    const auto it = FKeys.constFind(Normal(key));
    return it != FKeys.constEnd() && it->contains(name.toLower());
}

bool TMemoryRegistry::DeleteKey(const QString& key)
{
    const QString k = Normal(key);
    if (!FKeys.contains(k) || FProtected.contains(k))
        return false;
    FKeys.remove(k);
    return true;
}

bool TMemoryRegistry::DeleteValue(const QString& key, const QString& name)
{
    const QString k = Normal(key);
    auto it = FKeys.find(k);
    if (it == FKeys.end() || FProtected.contains(k + QLatin1Char('\\') + name.toLower()))
        return false;
    return it->remove(name.toLower()) > 0;
}

TRegistryStore& SystemRegistry()
{
    static TMemoryRegistry store;
    return store;
}
