#pragma once

#include <QIcon>
#include <QString>

namespace tindrel {

// The program's own pictures, drawn as vector paths at whatever size and
// pixel density they are asked for: "USB", "net" and "xlnk" for the tree and
// "app" for the application. An unknown name gives a null icon.
QIcon iconNamed(const QString &name);

}   // namespace tindrel
