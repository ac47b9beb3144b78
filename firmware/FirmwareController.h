#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include <QDialog>
#include <QProgressBar>

#include "FirmwareUpgrade.h"
#include "FirmwareUpgrader.h"

class QWidget;
class TindrelDevice;

namespace tindrel {

class AlertService;
class RetainedHandle;

// The main window's firmware panel: the catalogue of shipped images, the
// lookup for each new device, the upgrade decision, and the upgrade with
// its progress sheet. Main thread only, apart from its two workers: one
// that identifies devices showing their loader (a slow lookup), and one per
// upgrade. Neither touches a widget; both hand their results to the main
// thread. Destroying the controller (or shutDown) stops both without waiting
// for more than the library call under way.
class FirmwareController : public QObject {
    Q_OBJECT
public:
    // The folder with the image files; the shipped ones by default.
    static QString shippedFolder();

    FirmwareController(AlertService &alerts, QWidget *window, QString folder = shippedFolder(),
                       QObject *parent = nullptr);
    ~FirmwareController() override;

    // Builds the catalogue from the folder's file names.
    void loadFirmwares();
    const std::vector<FirmwareUpgrade> &firmwares() const { return firmwares_; }

    // The lookup for a new device node: apply gets the newest image (or
    // none) on the main thread, at once or, for a device that shows its
    // loader, once the loader has been asked. The handle is held until then.
    using Apply = std::function<void(std::optional<FirmwareUpgrade>)>;
    void findDeviceFirmware(std::shared_ptr<RetainedHandle> device, int32_t devId, Apply apply);

    enum class Outcome {
        Refused,   // the server must be upgraded first, or an upgrade is running
        Started,
        Declined
    };
    // The decision for a device whose hasFirmwareUpgrade is true.
    Outcome offerUpgrade(const TindrelDevice &device);
    // Shows the sheet and starts the worker.
    void startUpgrade(const TindrelDevice &device);
    bool upgradeRunning() const { return static_cast<bool>(run_); }

    void firmwareUpgradeProgressChange(double progress);
    void firmwareUpgradeResult(const QString &message);
    void didEndFirmwareUpgradeProgressSheet();

    // Stops the workers; later results are dropped. Safe to call twice.
    void shutDown();

    QDialog *firmwareUpgradeProgressSheet() const { return sheet_; }
    QProgressBar *firmwareUpgradeProgress() const { return progress_; }

signals:
    // After the result alert of an upgrade was shown.
    void upgradeFinished(bool success);

private:
    struct UpgradeRun;
    class LookupWorker;

    void performUpgradeThread(fw::UpgradeTarget target, std::shared_ptr<UpgradeRun> run);
    void finishRun();

    AlertService &alerts_;
    QPointer<QWidget> window_;
    QString folder_;
    std::vector<FirmwareUpgrade> firmwares_;
    QPointer<QDialog> sheet_;
    QPointer<QProgressBar> progress_;
    std::shared_ptr<UpgradeRun> run_;
    std::thread upgradeThread_;
    std::unique_ptr<LookupWorker> lookups_;
    bool closing_ = false;
};

}   // namespace tindrel
