#pragma once

// Rows bound to a library property: declared once by a window, read at each
// attach by the frame (before the window's own onAttach), and sent through
// the property's setter. A failed send logs the library's detail and puts
// the row back as it was.
//
//   TINDREL_RANGED(VoltageInput, DataInterval)   min, max, get and set
//   TINDREL_PROPERTY(VoltageRatioInput, BridgeEnabled)   get and set
#include "CodePopup.h"
#include "ExampleWindow.h"
#include "SliderRow.h"

#include <QCheckBox>
#include <QLabel>

#include <functional>
#include <optional>
#include <string>

namespace tindrel {

template <class H, class T>
struct RangedProperty {
    TindrelReturnCode (*getMin)(H, T *);
    TindrelReturnCode (*getMax)(H, T *);
    TindrelReturnCode (*get)(H, T *);
    TindrelReturnCode (*set)(H, T);
};

template <class H, class T>
struct Property {
    TindrelReturnCode (*get)(H, T *);
    TindrelReturnCode (*set)(H, T);
};

template <class H, class T>
constexpr RangedProperty<H, T> ranged(TindrelReturnCode (*getMin)(H, T *), TindrelReturnCode (*getMax)(H, T *),
                                      TindrelReturnCode (*get)(H, T *), TindrelReturnCode (*set)(H, T))
{
    return {getMin, getMax, get, set};
}

template <class H, class T>
constexpr Property<H, T> property(TindrelReturnCode (*get)(H, T *), TindrelReturnCode (*set)(H, T))
{
    return {get, set};
}

#define TINDREL_RANGED(C, P)                                                                                           \
    ::tindrel::ranged(&Tindrel##C##_getMin##P, &Tindrel##C##_getMax##P, &Tindrel##C##_get##P, &Tindrel##C##_set##P)
#define TINDREL_PROPERTY(C, P) ::tindrel::property(&Tindrel##C##_get##P, &Tindrel##C##_set##P)

// Something the frame reads at attach. Rows read in declaration order.
class BoundRow {
public:
    virtual ~BoundRow() = default;
    virtual void load() = 0;

    // What kind of row this is ("slider", "popup", "check"): with the row's
    // place among the window's rows it names the row in a remembered session.
    virtual const char *kind() const = 0;
    // The value the row holds now (a number, or on/off for a check), while
    // the row applies to the channel: shown, enabled and read at attach.
    virtual std::optional<QVariant> chosenValue() const = 0;
    // Chooses value as the user would, which sends it (a refusal is logged
    // and the row put back); false when the row cannot take such a value,
    // and then nothing is sent.
    virtual bool choose(const QVariant &value) = 0;
    // A value within limits that other rows (modes, ranges) may set: chosen
    // after those when settings are restored.
    virtual bool restoredLast() const { return false; }

protected:
    explicit BoundRow(ExampleWindow &window)
        : window_(window)
    {
        window.registerBoundRow(this);
    }
    // A read at attach: logged or passed over by the window's rule.
    bool read(TindrelReturnCode rc) { return window_.checkRead(rc); }
    // A send: a failure is always logged.
    bool write(TindrelReturnCode rc) { return window_.check(rc); }
    template <class H>
    H handle() const
    {
        return window_.ch_.template as<H>();
    }

    // A row widget applies while the window shows and enables it and its
    // own condition for reading holds.
    bool applies(const QWidget &row, const std::function<bool()> &readWhen) const;

    ExampleWindow &window_;
};

// How a slider row looks and sends.
struct SliderStyle {
    QString title;
    std::string limitFormat;
    std::string valueFormat;
    SliderRow::SendRule rule = SliderRow::SendRule::OnRelease;
    bool integral = false;
    // Shown only when minimum and maximum differ.
    bool onlyWhenAdjustable = false;
};

namespace rows {
// The data-interval row: integral milliseconds, sent on release.
inline SliderStyle dataInterval(std::string limitFormat = "%d ms", std::string valueFormat = "%d ms")
{
    return {QStringLiteral("Data Interval"),
            std::move(limitFormat),
            std::move(valueFormat),
            SliderRow::SendRule::OnRelease,
            true,
            false};
}
// The change-trigger row: sent on release, shown only when adjustable.
inline SliderStyle changeTrigger(std::string limitFormat, std::string valueFormat)
{
    return {QStringLiteral("Change Trigger"),
            std::move(limitFormat),
            std::move(valueFormat),
            SliderRow::SendRule::OnRelease,
            false,
            true};
}
}   // namespace rows

// A box with one slider row bound to a ranged property.
class PropertySliderBox : public AttachBox, public BoundRow {
    Q_OBJECT
public:
    template <class H, class T>
    PropertySliderBox(ExampleWindow *window, RangedProperty<H, T> p, SliderStyle style,
                      std::function<bool()> condition = {})
        : AttachBox(style.title, window,
                    [this, extra = std::move(condition), only = style.onlyWhenAdjustable] {
                        return (!only || minimum != maximum) && (!extra || extra());
                    })
        , BoundRow(*window)
        , row(new SliderRow(style.rule, style.limitFormat, style.valueFormat, style.integral, this))
    {
        readAll_ = [this, p](double &lo, double &hi, double &v) {
            T a{}, b{}, c{};
            const H h = handle<H>();
            // Each read goes on whatever the one before gave.
            read(p.getMin(h, &a));
            read(p.getMax(h, &b));
            read(p.get(h, &c));
            lo = static_cast<double>(a);
            hi = static_cast<double>(b);
            v = static_cast<double>(c);
        };
        row->setSender([this, p](double v) {
            const T value = row->integral() ? static_cast<T>(std::llround(v)) : static_cast<T>(v);
            return write(p.set(handle<H>(), value));
        });
        layOut();
    }

    void load() override;
    const char *kind() const override { return "slider"; }
    std::optional<QVariant> chosenValue() const override;
    bool choose(const QVariant &value) override;
    bool restoredLast() const override { return true; }

    SliderRow *row;
    double minimum = 0.0;
    double maximum = 0.0;

private:
    void layOut();
    std::function<void(double &, double &, double &)> readAll_;
};

// A check box bound to an on/off property (0 or 1).
class PropertyCheck : public QCheckBox, public BoundRow {
    Q_OBJECT
public:
    template <class H, class T>
    PropertyCheck(const QString &text, ExampleWindow *window, Property<H, T> p, QWidget *parent)
        : QCheckBox(text, parent)
        , BoundRow(*window)
    {
        readValue_ = [this, p](bool &on) {
            T v{};
            const bool ok = read(p.get(handle<H>(), &v));
            on = v != 0;
            return ok;
        };
        send_ = [this, p](bool on) { return write(p.set(handle<H>(), static_cast<T>(on ? 1 : 0))); };
        hookUp();
    }
    // Read at attach only while this holds (default: always).
    std::function<bool()> readWhen;
    void load() override;
    const char *kind() const override { return "check"; }
    std::optional<QVariant> chosenValue() const override;
    bool choose(const QVariant &value) override;

private:
    void hookUp();
    std::function<bool(bool &)> readValue_;
    std::function<bool(bool)> send_;
};

// A code pop-up bound to an enumerated property. Its titles may depend on
// the channel (titlesFor); the selection for a code read at attach may
// follow a rule of the window (selectFor; default: the code's title, or
// nothing). A title outside the table sends nothing and is logged.
class PropertyPopup : public CodePopup, public BoundRow {
    Q_OBJECT
public:
    template <class H, class T>
    PropertyPopup(std::span<const CodeTitle> table, ExampleWindow *window, Property<H, T> p, QWidget *parent)
        : CodePopup(table, parent)
        , BoundRow(*window)
    {
        readValue_ = [this, p](int &code) {
            T v{};
            const bool ok = read(p.get(handle<H>(), &v));
            code = static_cast<int>(v);
            return ok;
        };
        send_ = [this, p](int code) { return write(p.set(handle<H>(), static_cast<T>(code))); };
        hookUp();
    }
    // Refills the titles at each attach from the identity; unset keeps them.
    std::function<QStringList(const ChannelIdentity &)> titlesFor;
    // The title to select for a code read at attach; unset: the code's own.
    std::function<std::optional<QString>(int code)> selectFor;
    // Read at attach only while this holds (default: always).
    std::function<bool()> readWhen;
    void load() override;
    const char *kind() const override { return "popup"; }
    std::optional<QVariant> chosenValue() const override;
    bool choose(const QVariant &value) override;

private:
    void hookUp();
    std::function<bool(int &)> readValue_;
    std::function<bool(int)> send_;
};

// A display handler that shows one number in a label with a printf-style format.
inline std::function<void(const ScalarEvent &)> showIn(QLabel *label, const char *format)
{
    return [label, format](const ScalarEvent &e) { label->setText(formatNumber(format, e.value)); };
}

}   // namespace tindrel
