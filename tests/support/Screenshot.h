#pragma once

#include <QDir>
#include <QString>
#include <QWidget>
#include <cstdlib>

// Saves what the widget shows as artifacts/tests/<name>.png in the source tree (the folder the
// demo's pictures go to), for a person to look at; without the source folder named, nothing.
inline void SaveScreenshot(QWidget& widget, const char* name) {
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    if (!source) return;
    const QString dir = QString::fromLocal8Bit(source) + QStringLiteral("/artifacts/tests");
    QDir().mkpath(dir);
    widget.grab().save(dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png"));
}
