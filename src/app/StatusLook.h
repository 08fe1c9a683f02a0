#pragma once

#include "upload/UploadOutcome.h"

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>

class QStyle;

namespace vantor::app {

// What the status label says, as a person sees it before reading: the upload at work, or how it ended.
enum class StatusTone { Progress, Success, Warning, Failure };

// How the status label looks in each tone. Progress keeps yellow text on the highlight colour; an
// outcome gets the style's own icon and a green, amber or red ground. In every tone the text keeps a
// contrast of at least minimumContrast to its ground, whatever the platform's highlight colour is.
class StatusLook
{
public:
    static constexpr double minimumContrast = 4.5;

    // The tone of an upload's end: saved is success, saved with a warning a warning, the rest failure
    // (a stopped upload too: the PLC does not hold the program). caption is the last caption shown.
    static StatusTone toneOf(upload::UploadOutcome outcome, const QString& caption);

    // The label's palette (Window: the ground, WindowText: the text) for tone, from the window's.
    static QPalette paletteFor(StatusTone tone, const QPalette& window);

    // The style's standard icon for the tone's outcome; a null icon for progress.
    static QIcon iconFor(StatusTone tone, const QStyle& style);

    // The contrast ratio of two colours as the accessibility guidelines define it: 1 to 21.
    static double contrast(const QColor& a, const QColor& b);
};

} // namespace vantor::app
