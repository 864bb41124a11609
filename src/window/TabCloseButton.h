#pragma once
// The close button on the active tab: a dark cross on the tab, red under the
// pointer.

#include <QAbstractButton>

namespace corvala {

class TTabCloseButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int Size = 16;
    explicit TTabCloseButton(QWidget* parent);
    QSize sizeHint() const override { return {Size, Size}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
};

}  // namespace corvala
