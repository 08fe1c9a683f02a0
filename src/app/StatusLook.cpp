#include "app/StatusLook.h"

#include <QStyle>
#include <cmath>

namespace vantor::app {

namespace {

double luminance(const QColor& colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// The ground darkened step by step until text reads on it; a dark ground is left as it is.
QColor darkenedFor(const QColor& text, QColor ground)
{
    for (int step = 0; step < 40 && StatusLook::contrast(text, ground) < StatusLook::minimumContrast; ++step)
        ground = ground.darker(110);
    return ground;
}

} // namespace

StatusTone StatusLook::toneOf(upload::UploadOutcome outcome, const QString& caption)
{
    switch (outcome) {
    case upload::UploadOutcome::Completed:
        return caption.contains("Warning") ? StatusTone::Warning : StatusTone::Success;
    case upload::UploadOutcome::SaveNotConfirmed:
    case upload::UploadOutcome::ResetNotConfirmed:
        return StatusTone::Warning;
    default:
        return StatusTone::Failure;
    }
}

QPalette StatusLook::paletteFor(StatusTone tone, const QPalette& window)
{
    QColor text;
    QColor ground;
    switch (tone) {
    case StatusTone::Progress:
        text = Qt::yellow;
        ground = window.color(QPalette::Active, QPalette::Highlight);
        break;
    case StatusTone::Success:
        text = Qt::white;
        ground = QColor(0x1e, 0x7e, 0x34);
        break;
    case StatusTone::Warning:
        text = Qt::black;
        ground = QColor(0xff, 0xd3, 0x4d);
        break;
    case StatusTone::Failure:
        text = Qt::white;
        ground = QColor(0xb3, 0x26, 0x1e);
        break;
    }
    ground = darkenedFor(text, ground);
    QPalette palette = window;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, ground);
        palette.setColor(group, QPalette::WindowText, text);
    }
    return palette;
}

QIcon StatusLook::iconFor(StatusTone tone, const QStyle& style)
{
    switch (tone) {
    case StatusTone::Progress:
        return {};
    case StatusTone::Success: {
        const QIcon done = style.standardIcon(QStyle::SP_DialogApplyButton);
        return done.isNull() ? style.standardIcon(QStyle::SP_MessageBoxInformation) : done;
    }
    case StatusTone::Warning:
        return style.standardIcon(QStyle::SP_MessageBoxWarning);
    case StatusTone::Failure:
        return style.standardIcon(QStyle::SP_MessageBoxCritical);
    }
    return {};
}

double StatusLook::contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace vantor::app
