#pragma once

#include "platform/Registry.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class MessageSink;
class QLabel;
class QPushButton;

// The About box: product name, version, description, a disclaimer, and a
// button that starts the system's information program.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(MessageSink &messages, QWidget *parent = nullptr);
    ~frmAbout() override;

    // Reads the value `SubKeyRef` of the key `KeyName` below `KeyRoot` into
    // `KeyVal`; false (and `KeyVal` empty) when the key or value cannot be
    // read.
    bool GetKeyValue(quint32 KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                     QString &KeyVal);

    // Starts the system information program, or says that there is none.
    void StartSysInfo();

    // For tests: the registry, how a program is started (true when it
    // started), whether a file exists, and the desktop programs looked for
    // on PATH where there is no registry.
    void setRegistry(std::unique_ptr<Registry> registry) { m_registry = std::move(registry); }
    void setProgramStarter(std::function<bool(const QString &program)> starter)
    {
        m_start = std::move(starter);
    }
    void setFileExists(std::function<bool(const QString &path)> exists)
    {
        m_exists = std::move(exists);
    }
    void setDesktopPrograms(const QStringList &programs) { m_desktopPrograms = programs; }

    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;

private:
    MessageSink &m_messages;
    std::unique_ptr<Registry> m_registry;
    std::function<bool(const QString &)> m_start;
    std::function<bool(const QString &)> m_exists;
    QStringList m_desktopPrograms;
};
