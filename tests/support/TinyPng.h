#pragma once

#include <QByteArray>

// A valid 2x2 red PNG, for clipboard round trips of an image another program owns.
inline QByteArray TinyPng() {
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAEElEQVR4nGP4z8AARAwQCgAf7gP9i18U1AAAAABJ"
        "RU5ErkJggg==");
}
