#include "FirmwareController.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QVBoxLayout>

#include "AlertService.h"
#include "FirmwareCatalogue.h"
#include "FirmwareLookup.h"
#include "RetainedHandle.h"
#include "TindrelTreeNode.h"
#include "UpgradeDecision.h"

// The shipped images are compiled in as a resource of a static library.
static void initShippedFirmware() { Q_INIT_RESOURCE(firmware_images); }

namespace tindrel {

namespace {

const QString kSuccess = QStringLiteral("Upgrade Successful.");
const QString kFailure = QStringLiteral("Upgrade Failed!\nMake sure no other programs have this Tindrel open, unplug "
                                        "and replug the device, and try again.");

}   // namespace

// One upgrade: the worker waits until the main thread has shown the result
// (or the controller stops), and hands progress on without waiting.
struct FirmwareController::UpgradeRun : fw::ProgressTarget {
    QPointer<FirmwareController> controller;
    std::atomic<bool> cancel{false};
    std::mutex m;
    std::condition_variable cv;
    bool resultShown = false;

    void progressFromLibrary(double progress) override
    {
        // Library thread: box the value and post it.
        QMetaObject::invokeMethod(
            controller.data(),
            [c = controller, progress] {
                if (c)
                    c->firmwareUpgradeProgressChange(progress);
            },
            Qt::QueuedConnection);
    }
    void released()
    {
        {
            std::lock_guard<std::mutex> lock(m);
            resultShown = true;
        }
        cv.notify_all();
    }
};

// Identifies loader devices one after the other on its own thread.
class FirmwareController::LookupWorker {
public:
    struct Job {
        std::shared_ptr<RetainedHandle> device;
        std::function<void(std::optional<FirmwareUpgrade>)> done;   // called on this worker
    };
    explicit LookupWorker(const std::vector<FirmwareUpgrade> &list)
        : list_(list)
        , thread_([this] { run(); })
    { }
    ~LookupWorker()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
            jobs_.clear();
        }
        cv_.notify_all();
        thread_.join();
    }
    void post(Job job)
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_all();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_)
                return;
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            auto fw = job.device->get() ? fw::latestFirmwareForTindrel(job.device->get(), list_) : std::nullopt;
            job.device.reset();   // the library reference goes here, on every path
            job.done(std::move(fw));
            lock.lock();
        }
    }

    const std::vector<FirmwareUpgrade> list_;   // a copy: the catalogue may be reloaded meanwhile
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Job> jobs_;
    bool stop_ = false;
    std::thread thread_;
};

QString FirmwareController::shippedFolder()
{
    initShippedFirmware();
    return QStringLiteral(":/firmware");
}

FirmwareController::FirmwareController(AlertService &alerts, QWidget *window, QString folder, QObject *parent)
    : QObject(parent)
    , alerts_(alerts)
    , window_(window)
    , folder_(std::move(folder))
{
    sheet_ = new QDialog(window);
    sheet_->setObjectName(QStringLiteral("firmwareUpgradeProgressSheet"));
    sheet_->setWindowTitle(tr("Firmware Upgrade"));
    sheet_->setWindowModality(Qt::WindowModal);
    // The sheet goes away only when the upgrade is over.
    sheet_->setWindowFlags(sheet_->windowFlags() & ~Qt::WindowCloseButtonHint);
    auto *layout = new QVBoxLayout(sheet_);
    layout->addWidget(new QLabel(tr("Upgrading firmware. Do not unplug the device."), sheet_));
    progress_ = new QProgressBar(sheet_);
    progress_->setObjectName(QStringLiteral("firmwareUpgradeProgress"));
    // The library reports progress from 0 to 1.
    progress_->setRange(0, 100);
    layout->addWidget(progress_);
    sheet_->resize(360, sheet_->sizeHint().height());
    loadFirmwares();
}

FirmwareController::~FirmwareController()
{
    shutDown();
    delete sheet_.data();
}

void FirmwareController::loadFirmwares()
{
    firmwares_ = fw::loadFirmwares(folder_);
    lookups_.reset();   // a new catalogue: loaders are asked against it
}

void FirmwareController::findDeviceFirmware(std::shared_ptr<RetainedHandle> device, int32_t devId, Apply apply)
{
    if (closing_)
        return;
    if (!TindrelDevice::isLoaderDeviceId(devId)) {
        auto fw = device && device->get() ? fw::latestFirmwareForTindrel(device->get(), firmwares_) : std::nullopt;
        device.reset();
        apply(std::move(fw));
        return;
    }
    if (!lookups_)
        lookups_ = std::make_unique<LookupWorker>(firmwares_);
    QPointer<FirmwareController> self(this);
    lookups_->post({std::move(device), [self, apply = std::move(apply)](std::optional<FirmwareUpgrade> fw) {
                        QMetaObject::invokeMethod(
                            self.data(),
                            [self, apply, fw = std::move(fw)] {
                                if (self && !self->closing_)
                                    apply(fw);
                            },
                            Qt::QueuedConnection);
                    }});
}

FirmwareController::Outcome FirmwareController::offerUpgrade(const TindrelDevice &device)
{
    if (!device.fw || run_)
        return run_ ? Outcome::Refused : Outcome::Declined;
    fw::DecisionInput in;
    in.isRemote = device.isRemote;
    in.serverMajor = device.serverMajor;
    in.serverMinor = device.serverMinor;
    in.devId = device.devId;
    in.devClass = device.devClass;
    in.deviceVersion = device.version.value_or(0);
    in.imageVersion = device.fw->version;
    const fw::UpgradeDecision d = fw::upgradeDecision(in);
    if (d.kind == fw::UpgradeDecision::Kind::Refuse) {
        alerts_.showAlert(window_, d.title, d.text);
        return Outcome::Refused;
    }
    if (alerts_.askAlert(window_, d.title, d.text, d.buttons) != d.upgradeButton)
        return Outcome::Declined;
    startUpgrade(device);
    return Outcome::Started;
}

void FirmwareController::startUpgrade(const TindrelDevice &device)
{
    if (run_ || closing_)
        return;
    if (upgradeThread_.joinable())
        upgradeThread_.join();   // the last one has handed over its result already
    progress_->setValue(0);
    sheet_->open();
    run_ = std::make_shared<UpgradeRun>();
    run_->controller = this;
    upgradeThread_ =
        std::thread(&FirmwareController::performUpgradeThread, this, fw::UpgradeTarget::fromNode(device), run_);
}

// Worker thread: never touches a widget or a member other than through posts.
void FirmwareController::performUpgradeThread(fw::UpgradeTarget target, std::shared_ptr<UpgradeRun> run)
{
    const bool ok = fw::upgradeFirmware(target, run.get(), {std::cout, std::cerr}, &run->cancel);
    const QString message = ok ? kSuccess : kFailure;
    QMetaObject::invokeMethod(
        run->controller.data(),
        [c = run->controller, run, message, ok] {
            if (c && !run->cancel) {
                // The library's last progress event may still be on its way:
                // a finished upgrade shows a full bar.
                if (ok)
                    c->firmwareUpgradeProgressChange(1.0);
                c->firmwareUpgradeResult(message);
                emit c->upgradeFinished(ok);
            }
            run->released();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(run->m);
    run->cv.wait(lock, [&] { return run->resultShown || run->cancel.load(); });
}

void FirmwareController::firmwareUpgradeProgressChange(double progress)
{
    if (closing_ || !progress_)
        return;
    progress_->setValue(static_cast<int>(std::lround(std::clamp(progress, 0.0, 1.0) * 100.0)));
}

void FirmwareController::firmwareUpgradeResult(const QString &message)
{
    didEndFirmwareUpgradeProgressSheet();
    run_.reset();
    alerts_.showAlert(window_, QStringLiteral("Firmware Upgrade"), message);
}

void FirmwareController::didEndFirmwareUpgradeProgressSheet()
{
    if (sheet_)
        sheet_->hide();
}

void FirmwareController::shutDown()
{
    if (closing_)
        return;
    closing_ = true;
    if (run_) {
        {
            std::lock_guard<std::mutex> lock(run_->m);
            run_->cancel = true;
        }
        run_->cv.notify_all();
    }
    // The worker ends after the library call under way.
    if (upgradeThread_.joinable())
        upgradeThread_.join();
    run_.reset();
    lookups_.reset();
    didEndFirmwareUpgradeProgressSheet();
}

}   // namespace tindrel
