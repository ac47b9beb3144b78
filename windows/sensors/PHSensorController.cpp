#include "PHSensorController.h"

#include "WindowLogic.h"

#include <QFormLayout>
#include <QLineEdit>

namespace tindrel {

PHSensorController::PHSensorController()
    : SingleValueWindowOf(
          ChannelHandle::opsFor<TindrelPHSensorHandle, TindrelPHSensor_create, TindrelPHSensor_delete>(),
          QStringLiteral("pH Sensor"), TINDREL_RANGED(PHSensor, DataInterval),
          TINDREL_RANGED(PHSensor, PHChangeTrigger), "%0.2f pH",
          {QStringLiteral("pH"), {QStringLiteral("pH"), QStringLiteral("pH")}, "%0.3f pH"},
          &TindrelPHSensor_setOnPHChangeHandler)
    , extraSettingsBox(new AttachBox(QStringLiteral("Correction"), this))
    , temperatureCorrectionTextField(new QLineEdit(extraSettingsBox))
{
    auto *layout = new QFormLayout(extraSettingsBox);
    layout->addRow(QStringLiteral("Correction temperature (ºC):"), temperatureCorrectionTextField);
    contentLayout()->insertWidget(2, extraSettingsBox);
    connect(temperatureCorrectionTextField, &QLineEdit::returnPressed, this,
            &PHSensorController::setTemperatureCorrection);
}

void PHSensorController::onAttach()
{
    double celsius = 0;
    TindrelPHSensor_getCorrectionTemperature(handle<TindrelPHSensorHandle>(), &celsius);
    temperatureCorrectionTextField->setText(formatNumber("%.1f", celsius));
}

void PHSensorController::setTemperatureCorrection()
{
    bool ok = false;
    const double celsius = temperatureCorrectionTextField->text().trimmed().toDouble(&ok);
    if (!ok) {
        // Sending 0 for text that is no number would change the reading.
        outputError(QStringLiteral("\"%1\" is not a temperature in ºC; nothing was sent.")
                        .arg(temperatureCorrectionTextField->text()));
        return;
    }
    if (!check(TindrelPHSensor_setCorrectionTemperature(handle<TindrelPHSensorHandle>(), celsius)))
        return;
    temperatureCorrectionTextField->setText(formatNumber("%.1f", celsius));
    temperatureCorrectionTextField->clearFocus();
}

}   // namespace tindrel
