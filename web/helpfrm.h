#pragma once
// TFrmHelp, the window that shows the site's help pages. UI thread only.

#include <QWidget>

namespace zelq {

class TFrmHelp : public QWidget {
    Q_OBJECT
public:
    explicit TFrmHelp(QWidget* owner = nullptr);
};

}  // namespace zelq
