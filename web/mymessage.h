#pragma once
// TFrmMyMessage, the small borderless window that shows the site's message pages. UI thread only.

#include <QWidget>

namespace zelq {

class TFrmMyMessage : public QWidget {
    Q_OBJECT
public:
    explicit TFrmMyMessage(QWidget* owner = nullptr);
};

}  // namespace zelq
