#pragma once
// Putting a list box's items in recording-number order. UI thread only.

class QListWidget;

namespace zelq {

// Re-orders the items (texts and whatever they carry) by the number at the start of each text.
void SortRecordingList(QListWidget* list);

}  // namespace zelq
