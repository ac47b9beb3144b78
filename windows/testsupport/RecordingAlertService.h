#pragma once

#include "AlertService.h"

#include <QList>

namespace tindrel {

// Records alerts instead of showing them; askAlert answers with a preset
// button index. For tests.
class RecordingAlertService final : public AlertService {
public:
    struct Alert {
        QString title;
        QString text;
        bool critical = false;
    };

    void showAlert(QWidget *, const QString &title, const QString &text) override
    {
        alerts.append({title, text, false});
    }
    void showCritical(QWidget *, const QString &title, const QString &text) override
    {
        alerts.append({title, text, true});
    }
    int askAlert(QWidget *, const QString &title, const QString &text, const QStringList &) override
    {
        alerts.append({title, text, false});
        return answer;
    }

    QStringList titles() const
    {
        QStringList out;
        for (const auto &a : alerts)
            out.append(a.title);
        return out;
    }

    QList<Alert> alerts;
    int answer = 0;
};

}   // namespace tindrel
