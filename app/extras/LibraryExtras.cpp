#include "LibraryExtras.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace tindrel {

QList<QCommandLineOption> LibraryExtras::options() const { return {}; }

bool LibraryExtras::apply(const QCommandLineParser &, QString &) { return true; }

}   // namespace tindrel
