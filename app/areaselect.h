#pragma once
// TFrmAreaSelect, the see-through window whose frame marks the rectangle to record. UI thread only.

#include <QWidget>

namespace zelq {

class TFrmAreaSelect : public QWidget {
    Q_OBJECT
public:
    explicit TFrmAreaSelect(QWidget* owner = nullptr);
};

}  // namespace zelq
