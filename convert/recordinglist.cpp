#include "recordinglist.h"

#include <QListWidget>
#include <algorithm>
#include <vector>

#include "platform/textnum.h"

namespace zelq {

void SortRecordingList(QListWidget* list) {
    std::vector<QListWidgetItem*> items;
    items.reserve(static_cast<std::size_t>(list->count()));
    while (list->count() > 0) items.push_back(list->takeItem(0));
    std::stable_sort(items.begin(), items.end(), [](const QListWidgetItem* a, const QListWidgetItem* b) {
        return leadingNumber(a->text()) < leadingNumber(b->text());
    });
    for (QListWidgetItem* item : items) list->addItem(item);
}

}  // namespace zelq
