#pragma once

#include <memory>

#include <QList>
#include <QString>

class QCommandLineOption;
class QCommandLineParser;

namespace tindrel {

// What the device library linked into the program offers beyond its
// headers: the simulated library's rig files and control socket. main()
// reaches such features only through this seam, so that another library is
// linked without editing main(); CMake links the matching implementation.
class LibraryExtras {
public:
    virtual ~LibraryExtras() = default;

    // Command-line options the library adds, and how usage shows them
    // (for example "[--rig FILE] "); none by default.
    virtual QList<QCommandLineOption> options() const;
    virtual QString usage() const { return {}; }
    // Applies the parsed options before any window is made. On failure
    // returns false with a message for standard error.
    virtual bool apply(const QCommandLineParser &parser, QString &error);
    // Starts what runs beside the program until this object is destroyed.
    virtual void start() { }
};

// The linked library's extras.
std::unique_ptr<LibraryExtras> makeLibraryExtras();

}   // namespace tindrel
