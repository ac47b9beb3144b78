#pragma once

#include "AlertService.h"

namespace tindrel {

// Shows alerts as modal message boxes.
class MessageBoxAlertService final : public AlertService {
public:
    void showAlert(QWidget *parent, const QString &title, const QString &text) override;
    int askAlert(QWidget *parent, const QString &title, const QString &text, const QStringList &buttons) override;
    void showCritical(QWidget *parent, const QString &title, const QString &text) override;
};

}   // namespace tindrel
