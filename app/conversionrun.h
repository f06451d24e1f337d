// Runs a conversion off the window's thread, so the window keeps repainting,
// with a progress dialog and a Cancel button for long runs.
#pragma once

#include "convert/conversion.h"

class QWidget;

namespace morvane::app {

// Runs jobs as convert::convertJobs does, with options, off the window's
// thread (the run's own workers) and returns the report. Until the run ends
// no input reaches window; once it has lasted dialogAfterMs a window-modal
// progress dialog shows "Converting 12 of 340: stone.jpg" and its Cancel
// stops the run before the next image. The options' cancel and progress are
// the dialog's own.
convert::ConversionReport runConversion(QWidget *window, const QList<convert::ConversionJob> &jobs,
                                        convert::ConversionOptions options = {}, int dialogAfterMs = 500);

} // namespace morvane::app
