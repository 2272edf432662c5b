#pragma once
// The little of the Windows registry the program touches: deleting entries of two other
// media players' recent-file lists under HKEY_CURRENT_USER, and whether such a player is
// running (a top-level window of its class exists). On Linux neither player exists: the
// system store is empty, nothing is running, and no other program's files are touched
// (the desktop's own recently-used list included).
//
// Keys are paths such as "\Software\Vendor\Key\" (compared without regard to case or to
// leading and trailing backslashes); a key holds named values.
#include <QMap>
#include <QSet>
#include <QString>

class TRegistryStore {
public:
    virtual ~TRegistryStore() = default;
    // Deletes a key; false when it does not exist or cannot be deleted.
    virtual bool DeleteKey(const QString& key) = 0;
    // Whether an existing key can be opened (it is never created).
    virtual bool OpenKey(const QString& key) = 0;
    // Deletes a value of a key; false when either is missing or it cannot be deleted.
    virtual bool DeleteValue(const QString& key, const QString& name) = 0;
    // Whether a top-level window of this class is open (the player is running).
    virtual bool WindowClassExists(const QString& className) const = 0;
};

// A store in memory: what the system store is on Linux (empty), and what tests fill.
class TMemoryRegistry : public TRegistryStore {
public:
    void SetValue(const QString& key, const QString& name, const QString& data = {});
    void AddKey(const QString& key);
    void AddWindowClass(const QString& className) { FWindows.insert(className); }
    // Keys (or "key\value") whose deletion fails, as a protected entry would.
    void Protect(const QString& keyOrValue) { FProtected.insert(Normal(keyOrValue)); }

    bool HasKey(const QString& key) const { return FKeys.contains(Normal(key)); }
    bool HasValue(const QString& key, const QString& name) const;
    int KeyCount() const { return int(FKeys.size()); }

    bool DeleteKey(const QString& key) override;
    bool OpenKey(const QString& key) override { return HasKey(key); }
    bool DeleteValue(const QString& key, const QString& name) override;
    bool WindowClassExists(const QString& className) const override { return FWindows.contains(className); }

private:
    static QString Normal(const QString& key);
    QMap<QString, QMap<QString, QString>> FKeys;   // normal key -> lower-case value name -> data
    QSet<QString> FWindows;
    QSet<QString> FProtected;
};

// The store the program uses: on Linux an empty one.
TRegistryStore& SystemRegistry();
