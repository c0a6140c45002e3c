#pragma once

#include <QByteArray>

#include <memory>

// The Windows registry, as far as the About box reads it. Texts cross as
// single-byte (ANSI) strings. Results are the registry's: 0 is success.
class Registry
{
public:
    using Handle = quintptr;

    static constexpr quint32 HKEY_LOCAL_MACHINE_ = 0x80000002u;
    static constexpr quint32 KEY_ALL_ACCESS_ = 0x2003F;
    static constexpr quint32 REG_SZ_ = 1;
    static constexpr quint32 REG_DWORD_ = 4;

    virtual ~Registry();

    virtual long openKey(quint32 root, const QByteArray &keyName, quint32 access, Handle *key) = 0;
    // Reads into `buffer` (its size is the room offered); gives the type and
    // the value's size in bytes. A value larger than the buffer fails.
    virtual long queryValue(Handle key, const QByteArray &valueName, QByteArray &buffer,
                            quint32 *type, quint32 *size) = 0;
    virtual void closeKey(Handle key) = 0;

    // The system's registry: the real one on Windows, one without keys
    // elsewhere.
    static std::unique_ptr<Registry> system();
};

// A registry without keys: every key fails to open.
class EmptyRegistry : public Registry
{
public:
    long openKey(quint32, const QByteArray &, quint32, Handle *key) override;
    long queryValue(Handle, const QByteArray &, QByteArray &, quint32 *, quint32 *) override;
    void closeKey(Handle) override {}
};
