#include "platform/Registry.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

Registry::~Registry() = default;

namespace {
constexpr long fileNotFound = 2; // ERROR_FILE_NOT_FOUND
}

long EmptyRegistry::openKey(quint32, const QByteArray &, quint32, Handle *key)
{
    *key = 0;
    return fileNotFound;
}

long EmptyRegistry::queryValue(Handle, const QByteArray &, QByteArray &, quint32 *, quint32 *)
{
    return fileNotFound;
}

#ifdef Q_OS_WIN
namespace {

class WindowsRegistry : public Registry
{
public:
    long openKey(quint32 root, const QByteArray &keyName, quint32 access, Handle *key) override
    {
        HKEY opened = nullptr;
        const LONG result = RegOpenKeyExA(reinterpret_cast<HKEY>(quintptr(root)),
                                          keyName.constData(), 0, access, &opened);
        *key = reinterpret_cast<Handle>(opened);
        return result;
    }

    long queryValue(Handle key, const QByteArray &valueName, QByteArray &buffer, quint32 *type,
                    quint32 *size) override
    {
        DWORD valueType = 0;
        DWORD valueSize = DWORD(buffer.size());
        const LONG result =
            RegQueryValueExA(reinterpret_cast<HKEY>(key), valueName.constData(), nullptr,
                             &valueType, reinterpret_cast<LPBYTE>(buffer.data()), &valueSize);
        *type = valueType;
        *size = valueSize;
        return result;
    }

    void closeKey(Handle key) override
    {
        if (key)
            RegCloseKey(reinterpret_cast<HKEY>(key));
    }
};

} // namespace

std::unique_ptr<Registry> Registry::system()
{
    return std::make_unique<WindowsRegistry>();
}
#else
std::unique_ptr<Registry> Registry::system()
{
    return std::make_unique<EmptyRegistry>();
}
#endif
