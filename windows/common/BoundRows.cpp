#include "BoundRows.h"

#include <QVBoxLayout>

#include <cmath>

namespace tindrel {

namespace {

// A remembered whole number, as a popup's code is.
std::optional<int> wholeValue(const QVariant &value)
{
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok || value.typeId() == QMetaType::Bool || d != std::floor(d) || std::fabs(d) > 1e9)
        return std::nullopt;
    return static_cast<int>(d);
}

}   // namespace

bool BoundRow::applies(const QWidget &row, const std::function<bool()> &readWhen) const
{
    return row.isVisibleTo(&window_) && row.isEnabled() && (!readWhen || readWhen());
}

std::optional<QVariant> PropertySliderBox::chosenValue() const
{
    if (!applies(*row, {}))
        return std::nullopt;
    return QVariant(row->acceptedValue());
}

bool PropertySliderBox::choose(const QVariant &value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || value.typeId() == QMetaType::Bool || !std::isfinite(v) || !applies(*row, {}))
        return false;
    row->choose(v);
    return true;
}

std::optional<QVariant> PropertyCheck::chosenValue() const
{
    if (!applies(*this, readWhen))
        return std::nullopt;
    return QVariant(isChecked());
}

bool PropertyCheck::choose(const QVariant &value)
{
    if (value.typeId() != QMetaType::Bool || !applies(*this, readWhen))
        return false;
    // Through a click, so that the window sees what a user's click shows it.
    {
        const QSignalBlocker block(this);
        setChecked(!value.toBool());
    }
    click();
    return true;
}

std::optional<QVariant> PropertyPopup::chosenValue() const
{
    const auto code = currentCode();
    if (!code || !applies(*this, readWhen))
        return std::nullopt;
    return QVariant(*code);
}

bool PropertyPopup::choose(const QVariant &value)
{
    const auto code = wholeValue(value);
    return code && applies(*this, readWhen) && CodePopup::choose(*code);
}

void PropertySliderBox::layOut() { (new QVBoxLayout(this))->addWidget(row); }

void PropertySliderBox::load()
{
    double value = 0.0;
    readAll_(minimum, maximum, value);
    row->setRange(minimum, maximum, value);
}

void PropertyCheck::hookUp()
{
    connect(this, &QCheckBox::clicked, this, [this](bool on) {
        if (!send_(on)) {
            const QSignalBlocker block(this);
            setChecked(!on);
        }
    });
}

void PropertyCheck::load()
{
    if (readWhen && !readWhen())
        return;
    bool on = false;
    readValue_(on);
    const QSignalBlocker block(this);
    setChecked(on);
}

void PropertyPopup::hookUp()
{
    connect(this, &CodePopup::codeChosen, this, [this](int code) { send_(code); });
    // Nothing is sent; the log shows the library's last detail.
    connect(this, &CodePopup::unknownTitleChosen, this, [this] { window_.outputLastError(); });
}

void PropertyPopup::load()
{
    if (titlesFor)
        setTitles(titlesFor(window_.identity()));
    if (readWhen && !readWhen())
        return;
    int code = 0;
    readValue_(code);
    if (selectFor) {
        const auto title = selectFor(code);
        setCurrentIndex(title ? findText(*title, Qt::MatchExactly) : -1);
    } else {
        selectCode(code);
    }
}

}   // namespace tindrel
