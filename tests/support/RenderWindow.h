#pragma once
// Pictures of windows for a look at their layout: saved only when BUSLINK_RENDER_DIR
// names a folder, so ordinary test runs write nothing.
#include <QDir>
#include <QWidget>
#include <QtTest>

// Saves a picture of the window as fileName (with its extension) in BUSLINK_RENDER_DIR.
inline void render(QWidget& window, const QString& fileName)
{
    const QString dir = qEnvironmentVariable("BUSLINK_RENDER_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    QVERIFY(window.grab().save(dir + '/' + fileName));
}
