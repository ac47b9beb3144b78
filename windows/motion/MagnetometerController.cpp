#include "MagnetometerController.h"

#include "AlertService.h"
#include "MotionLogic.h"
#include "WindowLogic.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

namespace {

SliderStyle intervalStyle()
{
    return {QStringLiteral("Data Interval"), "%d ms", "%d ms", SliderRow::SendRule::EveryMove, true, false};
}
SliderStyle triggerStyle()
{
    return {QStringLiteral("Change Trigger"), "%0.3f G", "%0.3f G", SliderRow::SendRule::EveryMove, false, false};
}

}   // namespace

MagnetometerController::MagnetometerController(QWidget *parent)
    : ExampleWindowOf(
          ChannelHandle::opsFor<TindrelMagnetometerHandle, TindrelMagnetometer_create, TindrelMagnetometer_delete>(),
          Form::Window, parent)
    , dataIntervalBox(new PropertySliderBox(this, TINDREL_RANGED(Magnetometer, DataInterval), intervalStyle()))
    , changeTriggerBox(
          new PropertySliderBox(this, TINDREL_RANGED(Magnetometer, MagneticFieldChangeTrigger), triggerStyle()))
    , dataBox(new AttachBox(QStringLiteral("Magnetic Field"), this))
    , xAxisText(new QLabel(dataBox))
    , yAxisText(new QLabel(dataBox))
    , zAxisText(new QLabel(dataBox))
    , timeStampText(new QLabel(dataBox))
    , magneticFieldVectorBox(new AttachBox(QStringLiteral("Field Vector"), this))
    , magFieldView(new VectorView(magneticFieldVectorBox))
    , calibrationStatusText(new QLabel(magneticFieldVectorBox))
    , parametersButton(new QPushButton(QStringLiteral("Correction Parameters..."), magneticFieldVectorBox))
    , parametersWindow(new QDialog(this))
    , parametersText(new QLineEdit(parametersWindow))
    , magneticField(addStream<AxesEvent>(QStringLiteral("Magnetic Field"),
                                         {{QStringLiteral("X"), QStringLiteral("G")},
                                          {QStringLiteral("Y"), QStringLiteral("G")},
                                          {QStringLiteral("Z"), QStringLiteral("G")}},
                                         [this](const AxesEvent &e) { display(e); }))
{
    setWindowTitle(QStringLiteral("Magnetometer"));

    auto *grid = new QGridLayout(dataBox);
    grid->addWidget(new QLabel(QStringLiteral("X:"), dataBox), 0, 0);
    grid->addWidget(xAxisText, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Y:"), dataBox), 1, 0);
    grid->addWidget(yAxisText, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Z:"), dataBox), 2, 0);
    grid->addWidget(zAxisText, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Timestamp:"), dataBox), 3, 0);
    grid->addWidget(timeStampText, 3, 1);
    grid->setColumnStretch(1, 1);

    auto *vector = new QVBoxLayout(magneticFieldVectorBox);
    vector->addWidget(magFieldView, 1);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(calibrationStatusText, 1);
    statusRow->addWidget(parametersButton);
    vector->addLayout(statusRow);

    parametersWindow->setWindowTitle(QStringLiteral("Correction Parameters"));
    parametersWindow->setModal(false);
    auto *panel = new QVBoxLayout(parametersWindow);
    auto *help = new QLabel(QStringLiteral("Thirteen comma-separated values: field strength (G), three offsets, "
                                           "three gains and six cross terms. No comma: clear the correction."),
                            parametersWindow);
    help->setWordWrap(true);
    panel->addWidget(help);
    panel->addWidget(parametersText);
    auto *buttons = new QHBoxLayout;
    auto *close = new QPushButton(QStringLiteral("Close"), parametersWindow);
    auto *apply = new QPushButton(QStringLiteral("Apply"), parametersWindow);
    apply->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(close);
    buttons->addWidget(apply);
    panel->addLayout(buttons);

    contentLayout()->addWidget(magneticFieldVectorBox);
    contentLayout()->addWidget(dataBox);
    contentLayout()->addWidget(dataIntervalBox);
    contentLayout()->addWidget(changeTriggerBox);

    connect(parametersButton, &QPushButton::clicked, this, &MagnetometerController::openParameterWindow);
    connect(close, &QPushButton::clicked, this, &MagnetometerController::closeParameterWindow);
    connect(apply, &QPushButton::clicked, this, &MagnetometerController::setParameters);
}

void MagnetometerController::registerValueHandlers()
{
    subscribe(&TindrelMagnetometer_setOnMagneticFieldChangeHandler, magneticField);
}

void MagnetometerController::onAttach() { magFieldView->setCircleRadius(0.5); }

void MagnetometerController::onDetach() { calibrationStatusText->setText(QString()); }

void MagnetometerController::beforeTearDown() { parametersWindow->hide(); }

void MagnetometerController::display(const AxesEvent &e)
{
    xAxisText->setText(formatNumber("%.3f G", e.axes[0]));
    yAxisText->setText(formatNumber("%.3f G", e.axes[1]));
    zAxisText->setText(formatNumber("%.3f G", e.axes[2]));
    timeStampText->setText(formatNumber("%.0f ms", e.timestampMs));
    magFieldView->setVector(e.axes[0], e.axes[1], e.axes[2]);
}

void MagnetometerController::openParameterWindow()
{
    if (!parametersWindow->isVisible())
        parametersWindow->show();
}

void MagnetometerController::closeParameterWindow() { parametersWindow->hide(); }

void MagnetometerController::setStatus(const QString &text, QColor colour)
{
    calibrationStatusText->setText(text);
    QPalette p = calibrationStatusText->palette();
    p.setColor(QPalette::WindowText, colour);
    calibrationStatusText->setPalette(p);
}

void MagnetometerController::calibrationError(const QString &message)
{
    if (alerts())
        alerts()->showAlert(this, QStringLiteral("Magnetometer"), message);
    setStatus(QStringLiteral("Calibration Error"), QColor::fromRgbF(1, 0, 0));
    closeParameterWindow();
}

void MagnetometerController::setParameters()
{
    const auto ch = handle<TindrelMagnetometerHandle>();
    const motion::CorrectionInput in = motion::parseCorrectionText(parametersText->text());
    switch (in.kind) {
    case motion::CorrectionInput::Kind::Reset:
        if (!check(TindrelMagnetometer_resetCorrectionParameters(ch)) ||
            !check(TindrelMagnetometer_saveCorrectionParameters(ch)))
            return;
        setStatus(QStringLiteral("Un-Calibrated"), QColor::fromRgbF(1, 0, 0));
        closeParameterWindow();
        return;
    case motion::CorrectionInput::Kind::Parameters: {
        const auto &v = in.values;
        if (TindrelMagnetometer_setCorrectionParameters(ch, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9],
                                                        v[10], v[11], v[12]) != TINDREL_OK) {
            calibrationError(
                QStringLiteral("Error!\nCalibration error occurred, ensure values are within proper range."));
            return;
        }
        magFieldView->setCircleRadius(v[0]);
        setStatus(QStringLiteral("Calibration Complete"), QColor::fromRgbF(0.2, 0.8, 0.2));
        closeParameterWindow();
        return;
    }
    case motion::CorrectionInput::Kind::WrongCount:
        calibrationError(QStringLiteral("Error!\nInvalid number of parameters entered. Ensure there are 13 values"));
        return;
    }
}

}   // namespace tindrel
