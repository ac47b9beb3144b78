#include "MotorSettingsPanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tindrel {

MotorSettingsPanel::MotorSettingsPanel(const QStringList &cellTitles, QWidget *parent)
    : QDialog(parent)
    , confirmButton(new QPushButton(QStringLiteral("Save"), this))
{
    setWindowTitle(QStringLiteral("Motor Settings"));
    setModal(false);
    auto *grid = new QGridLayout;
    for (int i = 0; i < cellTitles.size(); ++i) {
        auto *c = new QCheckBox(cellTitles.at(i), this);
        c->setProperty("tag", i);
        cells_.push_back(c);
        grid->addWidget(c, i / 2, i % 2);
    }
    auto *all = new QPushButton(QStringLiteral("Select All"), this);
    auto *none = new QPushButton(QStringLiteral("Deselect All"), this);
    connect(all, &QPushButton::clicked, this, &MotorSettingsPanel::selectAll);
    connect(none, &QPushButton::clicked, this, &MotorSettingsPanel::deselectAll);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch(1);
    buttons->addWidget(confirmButton);
    confirmButton->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

bool MotorSettingsPanel::isOn(int tag) const
{
    return tag >= 0 && tag < cellCount() && cells_.at(static_cast<size_t>(tag))->isChecked();
}

void MotorSettingsPanel::selectAll()
{
    for (QCheckBox *c : cells_)
        if (c->isEnabled())
            c->setChecked(true);
}

void MotorSettingsPanel::deselectAll()
{
    for (QCheckBox *c : cells_)
        c->setChecked(false);
}

}   // namespace tindrel
