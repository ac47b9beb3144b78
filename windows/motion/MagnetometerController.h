#pragma once

#include "BoundRows.h"
#include "ExampleWindow.h"
#include "GaugeViews.h"

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tindrel {

// Magnetic field in gauss per axis, drawn as a field vector, with the
// correction-parameter panel that loads or clears the sensor's correction.
class MagnetometerController : public ExampleWindowOf<MagnetometerController> {
    Q_OBJECT
public:
    explicit MagnetometerController(QWidget *parent = nullptr);

    void openParameterWindow();
    void closeParameterWindow();
    // Applies parametersText: one piece resets and saves, thirteen set the
    // correction, any other count is refused.
    void setParameters();

    PropertySliderBox *dataIntervalBox;
    PropertySliderBox *changeTriggerBox;
    AttachBox *dataBox;
    QLabel *xAxisText;
    QLabel *yAxisText;
    QLabel *zAxisText;
    QLabel *timeStampText;
    AttachBox *magneticFieldVectorBox;
    VectorView *magFieldView;
    QLabel *calibrationStatusText;
    QPushButton *parametersButton;
    QDialog *parametersWindow;
    QLineEdit *parametersText;

protected:
    void registerValueHandlers() override;
    void onAttach() override;
    void onDetach() override;
    void beforeTearDown() override;

private:
    void display(const AxesEvent &e);
    void setStatus(const QString &text, QColor colour);
    void calibrationError(const QString &message);

    ValueStream<AxesEvent> &magneticField;
};

}   // namespace tindrel
