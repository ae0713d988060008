#pragma once
#include <QPageLayout>

namespace quillon {

// The application's one set of print settings (paper, orientation, margins),
// shared by every print and PDF export so a choice made in a print dialog
// carries over. Starts as Letter in the US and Canada and A4 elsewhere, portrait,
// 20 mm margins. Main thread only.
QPageLayout sharedPageLayout();
void setSharedPageLayout(const QPageLayout &layout);

} // namespace quillon
