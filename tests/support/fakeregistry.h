#pragma once

#include "engine/about/registry.h"

#include <QByteArray>
#include <QHash>
#include <QList>

// An in-memory registry that records what is asked of it.
class FakeRegistry final : public Registry
{
public:
    struct Value
    {
        quint32 type = RegistryType::String;
        QByteArray data;
    };

    FakeRegistry() = default;

    void setValue(RegistryRoot root, const QByteArray &keyName, const QByteArray &valueName,
                  Value value)
    {
        m_keys[path(root, keyName)][valueName] = std::move(value);
    }

    // A key that exists but holds no values.
    void addKey(RegistryRoot root, const QByteArray &keyName) { m_keys[path(root, keyName)]; }

    // The rights the caller is granted; an open asking for more is refused.
    void setGrantedAccess(quint32 mask) { m_grantedAccess = mask; }

    bool openKey(RegistryRoot root, const QByteArray &keyName, quint32 accessMask,
                 RegistryKey &key) override
    {
        key = 0;
        m_openRequests.append(keyName);
        m_requestedAccess.append(accessMask);
        if (!m_keys.contains(path(root, keyName)) || (accessMask & ~m_grantedAccess) != 0)
            return false;
        key = m_nextKey++;
        m_openKeys.insert(key, path(root, keyName));
        return true;
    }

    bool queryValue(RegistryKey key, const QByteArray &valueName, QByteArray &buffer, quint32 &type,
                    quint32 &length) override
    {
        m_bufferSizes.append(buffer.size());
        const auto open = m_openKeys.constFind(key);
        if (open == m_openKeys.cend())
            return false;
        const QHash<QByteArray, Value> &values = m_keys[open.value()];
        const auto value = values.constFind(valueName);
        // Like the system, a value that does not fit the buffer is not read.
        if (value == values.cend() || value->data.size() > buffer.size())
            return false;
        buffer.replace(0, value->data.size(), value->data);
        type = value->type;
        length = quint32(value->data.size());
        return true;
    }

    bool closeKey(RegistryKey key) override
    {
        m_closeRequests.append(key);
        return m_openKeys.remove(key) > 0;
    }

    const QList<QByteArray> &openRequests() const { return m_openRequests; }
    const QList<quint32> &requestedAccess() const { return m_requestedAccess; }
    const QList<RegistryKey> &closeRequests() const { return m_closeRequests; }
    const QList<qsizetype> &bufferSizes() const { return m_bufferSizes; }
    qsizetype openKeyCount() const { return m_openKeys.size(); }

private:
    static QByteArray path(RegistryRoot root, const QByteArray &keyName)
    {
        return QByteArray::number(quint32(root), 16) + '\\' + keyName;
    }

    QHash<QByteArray, QHash<QByteArray, Value>> m_keys;
    QHash<RegistryKey, QByteArray> m_openKeys;
    quint32 m_grantedAccess = 0xF003F; // everything
    RegistryKey m_nextKey = 1;
    QList<QByteArray> m_openRequests;
    QList<quint32> m_requestedAccess;
    QList<RegistryKey> m_closeRequests;
    QList<qsizetype> m_bufferSizes;
};
