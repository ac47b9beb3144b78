// The simulated device library's extras: a rig file named on the command
// line, and the control socket for the tindrelsim tool while the panel runs.
#include <cstdio>

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "LibraryExtras.h"
#include "tindrelsim.h"

namespace tindrel {

namespace {

const QCommandLineOption &rigOption()
{
    static const QCommandLineOption option(
        QStringLiteral("rig"), QStringLiteral("Load the simulated devices of <file> instead of the default rig."),
        QStringLiteral("file"));
    return option;
}

class SimulatorExtras final : public LibraryExtras {
public:
    ~SimulatorExtras() override
    {
        if (controlServerRunning_)
            TindrelSim_stopControlServer();
    }

    QList<QCommandLineOption> options() const override { return {rigOption()}; }
    QString usage() const override { return QStringLiteral("[--rig FILE] "); }

    bool apply(const QCommandLineParser &parser, QString &error) override
    {
        if (!parser.isSet(rigOption()))
            return true;
        char err[1024] = {};
        const QByteArray path = parser.value(rigOption()).toLocal8Bit();
        if (TindrelSim_loadRigFile(path.constData(), err, sizeof err) == TINDREL_OK)
            return true;
        error = QStringLiteral("cannot load rig %1: %2").arg(parser.value(rigOption()), QString::fromUtf8(err));
        return false;
    }

    void start() override
    {
        controlServerRunning_ = TindrelSim_startControlServer(nullptr) == TINDREL_OK;
        if (!controlServerRunning_)
            std::fprintf(stderr, "tindrelcontrolpanel: the tindrelsim control socket could not be opened; "
                                 "devices can still be changed through a rig file\n");
    }

private:
    bool controlServerRunning_ = false;
};

}   // namespace

std::unique_ptr<LibraryExtras> makeLibraryExtras() { return std::make_unique<SimulatorExtras>(); }

}   // namespace tindrel
