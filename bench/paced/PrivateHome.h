#pragma once
// Points the configuration, data and runtime folders at a folder of the run's own,
// so a benchmark neither reads the user's INI file (a scan route there would start
// polling) nor writes anything into it.
#include <QTemporaryDir>
#include <QtGlobal>

class PrivateHome {
public:
    PrivateHome()
    {
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    }

private:
    QTemporaryDir dir;
};
