#include "platform/Files.h"

#include <QRandomGenerator>

namespace Files {

Handle::Handle(Native native, QString path) : m_native(native), m_path(std::move(path))
{
}

Handle::~Handle()
{
    close();
}

Handle::Handle(Handle &&other) noexcept
    : m_native(std::exchange(other.m_native, invalidNative())), m_path(std::move(other.m_path))
{
}

Handle &Handle::operator=(Handle &&other) noexcept
{
    if (this != &other) {
        close();
        m_native = std::exchange(other.m_native, invalidNative());
        m_path = std::move(other.m_path);
    }
    return *this;
}

QString newTemporaryName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = QStringLiteral(".quillet-XXXXXX.part");
    for (qsizetype i = 9; i < 15; ++i)
        name[i] =
            QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return name;
}

bool isTemporaryName(const QString &name)
{
    return name.size() > 14 && name.startsWith(QLatin1String(".quillet-")) &&
           name.endsWith(QLatin1String(".part"));
}

} // namespace Files
