#pragma once

#include <QDialog>

#include <vector>

class QCheckBox;
class QPushButton;

namespace tindrel {

// The modeless panel in which the motor controller windows choose which of
// their saved settings an operation (save, revert to saved, revert to
// default) covers: one check-box cell per setting, its tag the setting's
// index, and a confirm button titled after the operation.
class MotorSettingsPanel : public QDialog {
    Q_OBJECT
public:
    MotorSettingsPanel(const QStringList &cellTitles, QWidget *parent);

    QCheckBox *cell(int tag) const { return cells_.at(static_cast<size_t>(tag)); }
    int cellCount() const { return static_cast<int>(cells_.size()); }
    bool isOn(int tag) const;

    // Turns on every enabled cell; turns off every cell.
    void selectAll();
    void deselectAll();

    QPushButton *confirmButton;

private:
    std::vector<QCheckBox *> cells_;
};

}   // namespace tindrel
